// The language's low-level file functions. They report failures the way the
// family does: a result of -1 (or false, or "") and the DOS error number in
// FERROR(); only arguments of the wrong type raise an error.
#include "platform/rtl/files.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/rtl/rtl.h"

namespace kvel::rtl {

using eval::Args;
using eval::Runtime;
using eval::Value;

FilesService& files(Runtime& rt) {
  if (FilesService* f = rt.find<FilesService>()) return *f;
  rt.install(FilesService::kSlot, std::make_unique<FilesService>());
  return rt.get<FilesService>();
}

os::PathLayer& paths(Runtime& rt) { return files(rt).paths(); }

os::Resolved resolve_name(Runtime& rt, std::string_view name) {
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  const std::string& def = rt.settings().default_dir;
  bool relative =
      !name.empty() && name[0] != '\\' && name[0] != '/' && !(name.size() >= 2 && name[1] == ':');
  if (relative && !def.empty()) {
    std::string full = def;
    if (full.back() != '\\' && full.back() != '/' && full.back() != ':') full += '\\';
    full += name;
    return paths(rt).lookup(full);
  }
  return paths(rt).lookup(name);
}

eval::ErrorObject file_error(const os::Status& s, int gen_code, std::string operation,
                             std::string filename, std::string subsystem) {
  eval::ErrorObject e;
  e.subsystem = std::move(subsystem);
  e.gen_code = gen_code;
  e.os_code = s.dos();
  e.description = s.message();
  e.operation = std::move(operation);
  e.filename = std::move(filename);
  return e;
}

namespace {

// A wrong argument: the handler may substitute a result; otherwise the
// function gives its failure value.
Value argument_error(Runtime& rt, const char* fn, Args args, Value fallback) {
  eval::ErrorObject e;
  e.gen_code = eval::kErrArg;
  e.description = "Argument error";
  e.operation = fn;
  e.can_substitute = true;
  std::vector<Value> a;
  for (size_t i = 0; i < args.size(); ++i) a.push_back(args[i]);
  e.args = std::move(a);
  eval::Answer ans = rt.raise(e);
  return ans.is_substitute() ? ans.value : fallback;
}

int64_t int_arg(Args args, size_t i, int64_t def) {
  return args[i].is_number() ? args[i].as_int() : def;
}

Value set_error(Runtime& rt, const os::Status& s, Value result) {
  files(rt).last_error = s.dos() ? s.dos() : os::kDosAccessDenied;
  return result;
}

Value ok(Runtime& rt, Value result) {
  files(rt).last_error = 0;
  return result;
}

// The open file of a handle, or nullptr with FERROR 6.
os::File* handle_of(Runtime& rt, const Value& h) {
  FilesService& f = files(rt);
  if (h.is_number()) {
    auto it = f.handles.find(static_cast<int>(h.as_int()));
    if (it != f.handles.end()) return &it->second;
  }
  f.last_error = os::kDosBadHandle;
  return nullptr;
}

Value keep_handle(Runtime& rt, os::File file) {
  int fd = file.fd();
  files(rt).handles[fd] = std::move(file);
  return ok(rt, Value::integer(fd));
}

// FOPEN(name, [mode]) -> handle or -1
Value fopen(Runtime& rt, Args args) {
  if (!args[0].is_string()) return argument_error(rt, "FOPEN", args, Value::integer(-1));
  os::Resolved r = resolve_name(rt, args[0].as_string());
  auto f = os::File::open(r.path, os::open_mode_from_number(int(int_arg(args, 1, 0))));
  if (!f.ok()) return set_error(rt, f.status(), Value::integer(-1));
  return keep_handle(rt, std::move(*f));
}

// FCREATE(name, [attribute]) -> handle or -1; attribute 1 makes the file read-only.
Value fcreate(Runtime& rt, Args args) {
  if (!args[0].is_string()) return argument_error(rt, "FCREATE", args, Value::integer(-1));
  os::Resolved r = resolve_name(rt, args[0].as_string());
  auto f = os::File::create(r.path, os::Share::Compat, (int_arg(args, 1, 0) & 1) != 0);
  if (!f.ok()) return set_error(rt, f.status(), Value::integer(-1));
  return keep_handle(rt, std::move(*f));
}

// FCLOSE(handle) -> logical
Value fclose(Runtime& rt, Args args) {
  os::File* f = handle_of(rt, args[0]);
  if (!f) return Value::logical(false);
  int fd = f->fd();
  os::Status s = f->close();
  files(rt).handles.erase(fd);
  if (!s.ok()) return set_error(rt, s, Value::logical(false));
  return ok(rt, Value::logical(true));
}

// FREAD(handle, @buffer, bytes) -> bytes read into the start of buffer.
// Never more than the buffer holds; the rest of the buffer is kept.
Value fread(Runtime& rt, Args args) {
  if (!args[1].is_string() || !args[2].is_number())
    return argument_error(rt, "FREAD", args, Value::integer(0));
  os::File* f = handle_of(rt, args[0]);
  if (!f) return Value::integer(0);
  std::string buf = args[1].as_string();
  int64_t want = std::clamp<int64_t>(args[2].as_int(), 0, static_cast<int64_t>(buf.size()));
  size_t done = 0;
  while (done < static_cast<size_t>(want)) {
    auto n = f->read(buf.data() + done, static_cast<size_t>(want) - done);
    if (!n.ok()) {
      set_error(rt, n.status(), Value());
      break;
    }
    if (*n == 0) break;
    done += *n;
  }
  if (done == static_cast<size_t>(want)) files(rt).last_error = 0;
  args.assign(1, Value::string(std::move(buf)));
  return Value::integer(static_cast<int64_t>(done));
}

// FREADSTR(handle, bytes) -> the bytes read, up to the first chr(0)
Value freadstr(Runtime& rt, Args args) {
  if (!args[1].is_number()) return argument_error(rt, "FREADSTR", args, Value::string(""));
  os::File* f = handle_of(rt, args[0]);
  if (!f) return Value::string("");
  int64_t want = std::clamp<int64_t>(args[1].as_int(), 0, 65535);
  std::string buf(static_cast<size_t>(want), '\0');
  size_t done = 0;
  files(rt).last_error = 0;
  while (done < buf.size()) {
    auto n = f->read(buf.data() + done, buf.size() - done);
    if (!n.ok()) {
      set_error(rt, n.status(), Value());
      break;
    }
    if (*n == 0) break;
    done += *n;
  }
  buf.resize(done);
  size_t nul = buf.find('\0');
  if (nul != std::string::npos) buf.resize(nul);
  return Value::string(std::move(buf));
}

// FWRITE(handle, text, [bytes]) -> bytes written
Value fwrite(Runtime& rt, Args args) {
  if (!args[1].is_string()) return argument_error(rt, "FWRITE", args, Value::integer(0));
  os::File* f = handle_of(rt, args[0]);
  if (!f) return Value::integer(0);
  const std::string& s = args[1].as_string();
  size_t n = s.size();
  if (args[2].is_number())
    n = static_cast<size_t>(std::clamp<int64_t>(args[2].as_int(), 0, int64_t(n)));
  auto w = f->write(s.data(), n);
  if (!w.ok()) return set_error(rt, w.status(), Value::integer(0));
  // A short write is a full disk.
  files(rt).last_error = *w == n ? 0 : os::kDosWriteFault;
  return Value::integer(static_cast<int64_t>(*w));
}

// FSEEK(handle, offset, [origin]) -> the new position. A position before the
// start of the file is refused: the position stays and FERROR is 25.
Value fseek(Runtime& rt, Args args) {
  if (!args[1].is_number()) return argument_error(rt, "FSEEK", args, Value::integer(-1));
  os::File* f = handle_of(rt, args[0]);
  if (!f) return Value::integer(-1);
  auto p = f->seek(args[1].as_int(), int(int_arg(args, 2, 0)));
  if (!p.ok()) {
    auto here = f->seek(0, 1);
    os::Status s = p.status().err_no() == EINVAL
                       ? os::Status::failure(os::kDosSeekError, "seek", EINVAL)
                       : p.status();
    return set_error(rt, s, Value::integer(here.ok() ? int64_t(*here) : -1));
  }
  return ok(rt, Value::integer(static_cast<int64_t>(*p)));
}

// FERASE(name) -> 0 or -1
Value ferase(Runtime& rt, Args args) {
  if (!args[0].is_string()) return argument_error(rt, "FERASE", args, Value::integer(-1));
  os::Resolved r = resolve_name(rt, args[0].as_string());
  os::Status s = os::remove_file(r.path);
  if (!s.ok()) return set_error(rt, s, Value::integer(-1));
  return ok(rt, Value::integer(0));
}

// FRENAME(old, new) -> 0 or -1; an existing new name is never replaced.
Value frename(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_string())
    return argument_error(rt, "FRENAME", args, Value::integer(-1));
  os::Resolved from = resolve_name(rt, args[0].as_string());
  os::Resolved to = resolve_name(rt, args[1].as_string());
  os::Status s = os::rename_file(from.path, to.path);
  if (!s.ok()) return set_error(rt, s, Value::integer(-1));
  return ok(rt, Value::integer(0));
}

bool has_wildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

// Splits "D:\WORK\*.DBF" into its directory part "D:\WORK\" and pattern "*.DBF".
std::pair<std::string, std::string> split_spec(std::string_view spec) {
  size_t cut = spec.find_last_of("\\/:");
  if (cut == std::string_view::npos) return {"", std::string(spec)};
  return {std::string(spec.substr(0, cut + 1)), std::string(spec.substr(cut + 1))};
}

// The entries a directory pattern names, each with its directory's
// Linux path.
os::Result<std::vector<os::DirEntry>> entries_of(Runtime& rt, std::string_view spec,
                                                 std::string_view attrs) {
  auto [dir, pattern] = split_spec(spec);
  if (pattern.empty()) pattern = "*.*";
  std::string ldir = dir.empty() ? std::string(".") : resolve_name(rt, dir).path;
  if (dir.empty() && !rt.settings().default_dir.empty()) ldir = resolve_name(rt, ".").path;
  return os::list_dir(ldir, pattern, attrs);
}

// FILE(spec) -> whether a file matches (wildcards allowed). Relative names are
// looked for in SET DEFAULT, then in each directory of SET PATH.
Value file(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::logical(false);
  std::string spec = args[0].as_string();
  while (!spec.empty() && spec.back() == ' ') spec.pop_back();
  if (spec.empty()) return Value::logical(false);
  auto exists = [&](const std::string& name) {
    if (has_wildcard(name)) {
      auto l = entries_of(rt, name, "H");
      return l.ok() && !l->empty();
    }
    os::Resolved r = resolve_name(rt, name);
    struct stat st {};
    return r.exists && ::stat(r.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
  };
  if (exists(spec)) return Value::logical(true);
  bool relative = spec[0] != '\\' && spec[0] != '/' && !(spec.size() >= 2 && spec[1] == ':');
  if (!relative) return Value::logical(false);
  std::string_view path = rt.settings().path;
  while (!path.empty()) {
    size_t cut = path.find_first_of(";,");
    std::string d(path.substr(0, cut));
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    while (!d.empty() && d.back() == ' ') d.pop_back();
    if (d.empty()) continue;
    if (d.back() != '\\' && d.back() != '/' && d.back() != ':') d += '\\';
    std::string full = d + spec;
    if (has_wildcard(full)) {
      auto l =
          os::list_dir(paths(rt).resolve(split_spec(full).first), split_spec(full).second, "H");
      if (l.ok() && !l->empty()) return Value::logical(true);
    } else {
      os::Resolved r = paths(rt).lookup(full);
      struct stat st {};
      if (r.exists && ::stat(r.path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
        return Value::logical(true);
    }
  }
  return Value::logical(false);
}

// Day number of a local calendar date (the Julian day number the date values use).
int32_t julian(int y, int m, int d) {
  int a = (14 - m) / 12;
  int yy = y + 4800 - a;
  int mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}

// DIRECTORY([spec], [attributes]) -> {{name, size, date, time, attributes}, ...}
Value directory(Runtime& rt, Args args) {
  std::string spec = args[0].is_string() ? args[0].as_string() : std::string();
  std::string attrs = args[1].is_string() ? args[1].as_string() : std::string();
  while (!spec.empty() && spec.back() == ' ') spec.pop_back();
  if (spec.empty()) spec = "*.*";
  auto l = entries_of(rt, spec, attrs);
  Value out = Value::new_array();
  if (!l.ok()) return set_error(rt, l.status(), out);
  for (const os::DirEntry& e : *l) {
    struct tm t {};
    ::localtime_r(&e.mtime, &t);
    char hms[16];
    std::snprintf(hms, sizeof hms, "%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
    Value row = Value::new_array();
    auto& items = row.as_array()->items;
    items.push_back(Value::string(e.name));
    items.push_back(Value::integer(static_cast<int64_t>(e.size)));
    items.push_back(Value::date(julian(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday)));
    items.push_back(Value::string(hms));
    items.push_back(Value::string(e.attributes));
    out.as_array()->items.push_back(std::move(row));
  }
  return ok(rt, out);
}

// FERROR() -> the DOS error number of the last low-level file function
Value ferror(Runtime& rt, Args) { return Value::integer(files(rt).last_error); }

// End-of-file mark that MEMOWRIT writes and MEMOREAD takes off again.
constexpr char kEof = 0x1A;

// MEMOREAD(name) -> the file's text, "" when it cannot be read
Value memoread(Runtime& rt, Args args) {
  if (!args[0].is_string()) return Value::string("");
  os::Resolved r = resolve_name(rt, args[0].as_string());
  auto text = os::read_whole(r.path);
  if (!text.ok()) return set_error(rt, text.status(), Value::string(""));
  if (!text->empty() && text->back() == kEof) text->pop_back();
  return ok(rt, Value::string(std::move(*text)));
}

// MEMOWRIT(name, text, [end mark]) -> logical. The end-of-file mark is
// written unless the third argument is false.
Value memowrit(Runtime& rt, Args args) {
  if (!args[0].is_string() || !args[1].is_string()) return Value::logical(false);
  os::Resolved r = resolve_name(rt, args[0].as_string());
  std::string text = args[1].as_string();
  if (!(args[2].is_logical() && !args[2].as_logical())) text += kEof;
  os::Status s = os::write_whole(r.path, text);
  if (!s.ok()) return set_error(rt, s, Value::logical(false));
  return ok(rt, Value::logical(true));
}

}  // namespace

void register_files(eval::Registry& reg) {
  reg.function("FOPEN", fopen);
  reg.function("FCREATE", fcreate);
  reg.function("FCLOSE", fclose);
  reg.function("FREAD", fread);
  reg.function("FREADSTR", freadstr);
  reg.function("FWRITE", fwrite);
  reg.function("FSEEK", fseek);
  reg.function("FERASE", ferase);
  reg.function("FRENAME", frename);
  reg.function("FILE", file);
  reg.function("DIRECTORY", directory);
  reg.function("FERROR", ferror);
  reg.function("MEMOREAD", memoread);
  reg.function("MEMOWRIT", memowrit);
}

}  // namespace kvel::rtl
