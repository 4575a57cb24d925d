// The fixture manifest (fixtures/manifest.txt) as data: each table's header
// bytes, fields, records and indexes as the program that wrote the files
// describes them.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kvel::test {

struct ManifestIndex {
  std::string file;
  std::map<std::string, std::string> hdr;  // NTXHDR name=value pairs
  std::string key_expr, for_expr;
  bool unique = false, descend = false;
  int depth = 0, pages = 0, key_count = 0;
  std::vector<uint32_t> order, order_nodel;
  std::vector<std::pair<uint32_t, std::string>> keys;  // recno, canonical key
};

struct ManifestRecord {
  uint32_t recno = 0;
  bool deleted = false;
  std::vector<std::string> values;  // canonical value of each field
  std::string raw;                  // record bytes, when given
};

struct ManifestTable {
  std::string file, memo;
  std::string dbf_header;  // 32 bytes
  struct Field {
    std::string name;
    char type;
    int len, dec;
  };
  std::vector<Field> fields;
  uint32_t count = 0;
  std::vector<ManifestRecord> records;
  std::vector<ManifestIndex> indexes;
};

const std::vector<ManifestTable>& manifest();
const ManifestTable& manifest_table(const std::string& file);
std::string unhex(const std::string& hex);

}  // namespace kvel::test
