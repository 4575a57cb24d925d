#include "manifest.h"

#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace kvel::test {
namespace {

std::vector<std::string> split_tabs(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t t = line.find('\t', start);
    out.push_back(line.substr(start, t == std::string::npos ? std::string::npos : t - start));
    if (t == std::string::npos) break;
    start = t + 1;
  }
  return out;
}

std::vector<uint32_t> numbers(const std::string& s) {
  std::vector<uint32_t> out;
  std::istringstream in(s);
  uint32_t n;
  while (in >> n) out.push_back(n);
  return out;
}

std::vector<ManifestTable> load() {
  std::vector<ManifestTable> tables;
  std::istringstream in(read_file(shared_dir() / "fixtures" / "manifest.txt"));
  std::string line;
  ManifestTable* t = nullptr;
  ManifestIndex* x = nullptr;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = split_tabs(line);
    const std::string& tag = f[0];
    auto arg = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
    if (tag == "TABLE") {
      tables.emplace_back();
      t = &tables.back();
      t->file = arg(1);
    } else if (tag == "MEMO") {
      t->memo = arg(1);
    } else if (tag == "DBFHDR") {
      t->dbf_header = unhex(arg(1));
    } else if (tag == "FIELD") {
      t->fields.push_back({arg(2), arg(3)[0], std::stoi(arg(4)), std::stoi(arg(5))});
    } else if (tag == "RECCOUNT") {
      t->count = static_cast<uint32_t>(std::stoul(arg(1)));
    } else if (tag == "REC") {
      ManifestRecord r;
      r.recno = static_cast<uint32_t>(std::stoul(arg(1)));
      r.deleted = arg(2) == "T";
      r.values.assign(f.begin() + 3, f.end());
      t->records.push_back(std::move(r));
    } else if (tag == "RAW") {
      t->records.at(std::stoul(arg(1)) - 1).raw = unhex(arg(2));
    } else if (tag == "INDEX") {
      t->indexes.emplace_back();
      x = &t->indexes.back();
      x->file = arg(1);
    } else if (tag == "NTXHDR") {
      std::istringstream kv(arg(1));
      std::string item;
      while (kv >> item) {
        size_t eq = item.find('=');
        x->hdr[item.substr(0, eq)] = item.substr(eq + 1);
      }
    } else if (tag == "KEYEXPR") {
      x->key_expr = arg(1);
    } else if (tag == "FOREXPR") {
      x->for_expr = arg(1);
    } else if (tag == "UNIQUE") {
      x->unique = arg(1) == "T";
    } else if (tag == "DESCEND") {
      x->descend = arg(1) == "T";
    } else if (tag == "DEPTH") {
      x->depth = std::stoi(arg(1));
    } else if (tag == "PAGES") {
      x->pages = std::stoi(arg(1));
    } else if (tag == "KEYCOUNT") {
      x->key_count = std::stoi(arg(1));
    } else if (tag == "ORDER") {
      x->order = numbers(arg(1));
    } else if (tag == "ORDER_NODEL") {
      x->order_nodel = numbers(arg(1));
    } else if (tag == "KEY") {
      x->keys.emplace_back(static_cast<uint32_t>(std::stoul(arg(2))), arg(3));
    }
  }
  return tables;
}

}  // namespace

std::string unhex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

const std::vector<ManifestTable>& manifest() {
  static const std::vector<ManifestTable> tables = load();
  return tables;
}

const ManifestTable& manifest_table(const std::string& file) {
  for (const ManifestTable& t : manifest())
    if (t.file == file) return t;
  throw std::runtime_error("no table " + file + " in the manifest");
}

}  // namespace kvel::test
