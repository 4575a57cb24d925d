#include "platform/os/path.h"

#include <dirent.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

namespace kvel::os {
namespace {

// Every live path layer, so that a create or remove through file.h reaches
// the caches of all of them (a test may run its own layer beside the default).
std::mutex& layers_mu() {
  static std::mutex mu;
  return mu;
}
std::set<PathLayer*>& layers() {
  static std::set<PathLayer*> s;
  return s;
}

bool is_drive_prefix(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]));
}

std::string getcwd_string() {
  std::string buf(256, '\0');
  for (;;) {
    if (::getcwd(buf.data(), buf.size())) {
      buf.resize(std::char_traits<char>::length(buf.data()));
      return buf;
    }
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
}

std::string absolute(const std::string& p) {
  if (!p.empty() && p[0] == '/') return p;
  std::string cwd = getcwd_string();
  if (p.empty() || p == ".") return cwd;
  if (cwd.back() != '/') cwd += '/';
  return cwd + p;
}

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = fold_name_char(c);
  return out;
}

std::string join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

int64_t now_ns() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A directory changed this recently may change again within the same tick
// of its modification time, so its listing is read again next time.
constexpr int64_t kRacyNs = 2'000'000'000;
// A bound on the cache; past it the cache starts afresh.
constexpr size_t kMaxDirs = 512;

std::string default_drives_dir() {
  if (const char* d = std::getenv("KVEL_DRIVES"); d && *d) return d;
  if (const char* h = std::getenv("HOME"); h && *h) return std::string(h) + "/.kvel/drives";
  return getcwd_string() + "/.kvel/drives";
}

}  // namespace

char fold_name_char(char ch) {
  auto c = static_cast<unsigned char>(ch);
  if (c >= 'A' && c <= 'Z') return static_cast<char>(c + 32);
  if (c >= 0x80 && c <= 0x8F) return static_cast<char>(c + 0x20);  // А..П -> а..п
  if (c >= 0x90 && c <= 0x9F) return static_cast<char>(c + 0x50);  // Р..Я -> р..я
  if (c == 0xF0) return static_cast<char>(0xF1);                   // Ё -> ё
  return ch;
}

PathLayer::PathLayer() : PathLayer(default_drives_dir()) {
  for (char l = 'A'; l <= 'Z'; ++l) {
    std::string var = std::string("KVEL_DRIVE_") + l;
    if (const char* d = std::getenv(var.c_str()); d && *d) map_drive(l, d);
  }
}

PathLayer::PathLayer(std::string drives_dir) : drives_dir_(std::move(drives_dir)) {
  drives_['C'] = "/";
  std::lock_guard<std::mutex> g(layers_mu());
  layers().insert(this);
}

PathLayer::~PathLayer() {
  std::lock_guard<std::mutex> g(layers_mu());
  layers().erase(this);
}

void PathLayer::map_drive(char letter, std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  drives_[static_cast<char>(std::toupper(static_cast<unsigned char>(letter)))] = std::move(dir);
}

std::string PathLayer::drive_root(char letter) const {
  char l = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  auto it = drives_.find(l);
  if (it != drives_.end()) return it->second;
  return drives_dir_ + "/" + static_cast<char>(std::tolower(static_cast<unsigned char>(l)));
}

std::string PathLayer::translate(std::string_view name) const {
  std::string s(name);
  std::replace(s.begin(), s.end(), '\\', '/');
  if (is_drive_prefix(s)) {
    std::string root = drive_root(s[0]);
    std::string rest = s.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    if (rest.empty()) return root;
    // "D:NAME" (relative to the drive's current directory) is taken from the
    // drive's root: the system keeps one current directory, the process's.
    return root.back() == '/' ? root + rest : root + "/" + rest;
  }
  if (!s.empty() && s[0] == '/') {
    // Rooted without a drive: the root of the current drive.
    std::string root = drive_root(current_drive());
    if (root == "/") return s;
    return root + s;
  }
  return s;
}

const PathLayer::DirCache* PathLayer::load(const std::string& dir) {
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    cache_.erase(dir);
    return nullptr;
  }
  int64_t mt = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  auto it = cache_.find(dir);
  if (it != cache_.end() && !it->second.racy && it->second.mtime_ns == mt &&
      it->second.dev == st.st_dev && it->second.ino == st.st_ino)
    return &it->second;
  if (cache_.size() >= kMaxDirs) cache_.clear();
  DirCache c;
  c.dev = st.st_dev;
  c.ino = st.st_ino;
  c.mtime_ns = mt;
  c.racy = now_ns() - mt < kRacyNs;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      c.names[folded(n)].push_back(std::move(n));
    }
    ::closedir(d);
  } else {
    cache_.erase(dir);
    return nullptr;
  }
  // Several names differing only in case: the choice must not depend on
  // the order readdir happens to give.
  for (auto& [k, v] : c.names) std::sort(v.begin(), v.end());
  auto& slot = cache_[dir];
  slot = std::move(c);
  return &slot;
}

std::string PathLayer::find_in(const std::string& dir, const std::string& component) {
  const DirCache* c = load(absolute(dir));
  if (!c) return {};
  auto it = c->names.find(folded(component));
  if (it == c->names.end()) return {};
  for (const std::string& n : it->second)
    if (n == component) return n;
  return it->second.front();
}

Resolved PathLayer::lookup(std::string_view name) {
  std::string p = translate(name);
  if (p.empty()) return {p, false};
  struct stat st {};
  if (::stat(p.c_str(), &st) == 0) return {p, true};

  std::vector<std::string> parts;
  size_t i = 0;
  std::string cur;
  if (p[0] == '/') {
    cur = "/";
    i = 1;
  }
  while (i <= p.size()) {
    size_t j = p.find('/', i);
    if (j == std::string::npos) j = p.size();
    if (j > i) parts.emplace_back(p.substr(i, j - i));
    i = j + 1;
  }
  bool trailing_slash = p.size() > 1 && p.back() == '/';

  // The deepest directory that exists as given is taken as it is (an exact
  // match wins), so usually one stat finds where matching must begin.
  size_t start = 0;
  for (size_t k = parts.empty() ? 0 : parts.size() - 1; k > 0; --k) {
    std::string c = cur;
    for (size_t n = 0; n < k; ++n) c = c.empty() ? parts[n] : join(c, parts[n]);
    if (::stat(c.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      start = k;
      cur = std::move(c);
      break;
    }
  }

  std::lock_guard<std::mutex> g(mu_);
  bool exists = true;
  for (size_t n = start; n < parts.size(); ++n) {
    const std::string& part = parts[n];
    std::string next;
    if (exists && part != "." && part != "..") {
      // A component that exists as given needs no listing: only directories
      // where the case differs are read.
      std::string exact = cur.empty() ? part : join(cur, part);
      if (::lstat(exact.c_str(), &st) == 0) {
        cur = std::move(exact);
        continue;
      }
      std::string real = find_in(cur.empty() ? "." : cur, part);
      if (real.empty()) exists = false;
      next = real.empty() ? part : real;
    } else {
      next = part;
    }
    cur = cur.empty() ? next : join(cur, next);
  }
  if (trailing_slash && cur.back() != '/') cur += '/';
  if (exists) exists = ::stat(cur.c_str(), &st) == 0;
  return {cur, exists};
}

std::string PathLayer::to_dos(std::string_view linux_path) const {
  std::string abs = absolute(std::string(linux_path));
  // The drive whose directory is the longest prefix of the path; "/" (C: by
  // default) holds everything.
  char best = 0;
  size_t best_len = 0;
  std::string best_root;
  for (const auto& [l, root] : drives_) {
    bool under = root == "/" || abs == root ||
                 (abs.size() > root.size() && abs.compare(0, root.size(), root) == 0 &&
                  abs[root.size()] == '/');
    size_t len = root == "/" ? 0 : root.size();
    if (under && (best == 0 || len > best_len)) {
      best = l;
      best_len = len;
      best_root = root;
    }
  }
  if (best == 0) return abs;  // no drive holds it: C: was mapped elsewhere
  std::string rest = best_root == "/" ? abs : abs.substr(best_root.size());
  std::replace(rest.begin(), rest.end(), '/', '\\');
  if (rest.empty() || rest[0] != '\\') rest.insert(rest.begin(), '\\');
  return std::string(1, best) + ":" + rest;
}

char PathLayer::current_drive() const { return to_dos(getcwd_string())[0]; }

std::string PathLayer::current_dir() const {
  std::string d = to_dos(getcwd_string());
  return d.size() > 3 ? d.substr(3) : std::string();
}

void PathLayer::changed(std::string_view linux_path) {
  std::string abs = absolute(std::string(linux_path));
  while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
  size_t slash = abs.rfind('/');
  std::string parent = slash == 0 ? "/" : abs.substr(0, slash);
  std::lock_guard<std::mutex> g(mu_);
  cache_.erase(parent);
  // A renamed or removed directory takes its own listing with it.
  cache_.erase(abs);
}

void PathLayer::forget() {
  std::lock_guard<std::mutex> g(mu_);
  cache_.clear();
}

void path_changed(std::string_view linux_path) {
  std::lock_guard<std::mutex> g(layers_mu());
  for (PathLayer* l : layers()) l->changed(linux_path);
}

PathLayer& default_paths() {
  static PathLayer layer;
  return layer;
}

std::string resolve(std::string_view name) { return default_paths().resolve(name); }

}  // namespace kvel::os
