// The one state object of the system: memory variables, the function registry,
// settings, the error handler, the call stack, and the facilities that higher
// layers install (table store, screen, keyboard, ...). Code that needs any of
// it takes `Runtime& rt` first; there are no globals, so a test builds its own.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "platform/eval/error.h"
#include "platform/eval/fields.h"
#include "platform/eval/memvars.h"
#include "platform/eval/registry.h"
#include "platform/eval/settings.h"
#include "platform/eval/value.h"

namespace kvel::eval {

// A facility owned by the runtime. Each kind declares its slot:
//   class Store : public Service { public: static constexpr ServiceSlot kSlot = ServiceSlot::Store;
//   };
enum class ServiceSlot : int {
  Store,
  Screen,
  Keyboard,
  Ui,
  Files,
  Evaluator,
  Runner,
  Printer,
  kCount
};

class Service {
 public:
  virtual ~Service() = default;
};

// One entry of the call stack that error reports show.
struct Frame {
  std::string name;    // procedure or function, upper case
  std::string module;  // source module or description file, may be empty
  int line = 0;
};

class Runtime {
 public:
  Runtime();
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  Registry& registry() { return registry_; }
  Memvars& memvars() { return memvars_; }
  Settings& settings() { return settings_; }

  // Hands an error to the current handler and returns its verdict. Without a
  // handler, or when an error is raised while the handler runs, the error
  // unwinds as Break{error_value(e)}: handlers never recurse.
  Answer raise(ErrorObject& e);
  ErrorHandler& error_handler() { return handler_; }
  // Installs a handler and returns the previous one (see ScopedErrorHandler).
  ErrorHandler set_error_handler(ErrorHandler h);

  std::vector<Frame>& calls() { return calls_; }

  // Installed facilities. get<T>() requires the facility to be installed.
  void install(ServiceSlot slot, std::unique_ptr<Service> s);
  template <class T>
  T* find() {
    return static_cast<T*>(services_[static_cast<int>(T::kSlot)].get());
  }
  template <class T>
  T& get() {
    return *find<T>();
  }

  // The table store as the evaluator sees it (nullptr: no fields exist).
  FieldAccess* fields() { return fields_; }
  void set_fields(FieldAccess* f) { fields_ = f; }

  // The process exit code set last (QUIT, an external command, the error handler).
  int exit_code = 0;

 private:
  Registry registry_;
  Memvars memvars_;
  Settings settings_;
  ErrorHandler handler_;
  bool in_handler_ = false;
  std::vector<Frame> calls_;
  std::array<std::unique_ptr<Service>, static_cast<int>(ServiceSlot::kCount)> services_;
  FieldAccess* fields_ = nullptr;
};

// Replaces the error handler for one step and restores the previous one.
class ScopedErrorHandler {
 public:
  ScopedErrorHandler(Runtime& rt, ErrorHandler h)
      : rt_(rt), old_(rt.set_error_handler(std::move(h))) {}
  ~ScopedErrorHandler() { rt_.set_error_handler(std::move(old_)); }
  ScopedErrorHandler(const ScopedErrorHandler&) = delete;
  ScopedErrorHandler& operator=(const ScopedErrorHandler&) = delete;

 private:
  Runtime& rt_;
  ErrorHandler old_;
};

// Pushes a call-stack entry for the lifetime of the guard.
class CallFrame {
 public:
  CallFrame(Runtime& rt, std::string name, std::string module = {}, int line = 0) : rt_(rt) {
    rt.calls().push_back({std::move(name), std::move(module), line});
  }
  ~CallFrame() { rt_.calls().pop_back(); }
  CallFrame(const CallFrame&) = delete;
  CallFrame& operator=(const CallFrame&) = delete;

 private:
  Runtime& rt_;
};

// Saves the settings and puts them back on scope exit.
class KeepSettings {
 public:
  explicit KeepSettings(Runtime& rt) : rt_(rt), saved_(rt.settings()) {}
  ~KeepSettings() { rt_.settings() = saved_; }
  KeepSettings(const KeepSettings&) = delete;
  KeepSettings& operator=(const KeepSettings&) = delete;

 private:
  Runtime& rt_;
  Settings saved_;
};

}  // namespace kvel::eval
