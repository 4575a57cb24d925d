#include "platform/eval/registry.h"

#include <algorithm>

namespace kvel::eval {

std::string upper_name(std::string_view name) {
  std::string s(name);
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

void Registry::function(std::string_view name, NativeFn fn) {
  std::string key = upper_name(name);
  auto& slot = fns_[key];
  if (!slot) slot = std::make_unique<Function>();
  slot->name = key;
  slot->fn = fn;
}

const Function* Registry::find(std::string_view name) const {
  auto it = fns_.find(upper_name(name));
  return it == fns_.end() ? nullptr : it->second.get();
}

std::vector<std::string> Registry::names() const {
  std::vector<std::string> out;
  for (const auto& [k, f] : fns_) out.push_back(k);
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace kvel::eval
