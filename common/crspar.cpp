#include "common/crspar.h"

#include <cstdio>

#include "common/clalert.h"
#include "common/cp866_text.h"
#include "common/description.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/os/file.h"
#include "platform/rtl/cp866.h"
#include "platform/rtl/files.h"

namespace kvel::common {

using eval::Runtime;
using eval::Value;

namespace {

// A record naming entry 0 or one above N is no OS failure; the dialog shows
// the DOS number for invalid data.
constexpr int kDosInvalidData = 13;

std::string shown_name(const std::string& name) {
  size_t a = name.find_first_not_of(' ');
  size_t b = name.find_last_not_of(' ');
  return a == std::string::npos ? "" : rtl::cp866::upper(name.substr(a, b - a + 1));
}

std::string error_line(int dos) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%2d)", dos);
  return ru("(код ошибки ") + buf;
}

[[noreturn]] void fail(Runtime& rt, std::vector<std::string> lines) {
  AlertSpec a;
  a.lines = std::move(lines);
  a.colours = list_of_colours({13, 2, 77});
  a.raised = true;
  a.buttons = {"  Ok  "};
  clalert(rt, a);
  throw EndRun{rt.exit_code};
}

}  // namespace

void close_control(Runtime& rt) {
  Runner& r = runner(rt);
  if (r.control_handle >= 0) {
    rtl::files(rt).handles.erase(r.control_handle);
    r.control_handle = -1;
  }
}

std::string crspar(Runtime& rt) {
  close_control(rt);
  std::string offset_name = text_of(get(rt, pub::OFFSET));
  std::string control_name = text_of(get(rt, pub::CONTROL));
  const std::string read_fault = ru("Ошибка при чтении файла смещения");

  os::Result<os::File> off = os::File::open(rtl::resolve_name(rt, offset_name).path,
                                            {os::Access::Read, os::Share::DenyNone});
  if (!off.ok()) {
    fail(rt, {ru("Ошибка при открытии файла смещения"), shown_name(offset_name),
              error_line(off.status().dos()), ""});
  }
  set(rt, pub::HANDS, Value::integer(off->fd()));
  std::string bytes;
  char buf[4096];
  for (;;) {
    os::Result<size_t> n = off->read(buf, sizeof buf);
    if (!n.ok()) fail(rt, {read_fault, shown_name(offset_name), error_line(n.status().dos()), ""});
    if (*n == 0) break;
    bytes.append(buf, *n);
  }
  off->close();
  set(rt, pub::HANDS, Value::integer(0));

  OffsetParse p = parse_offsets(bytes);
  if (p.fault == OffsetParse::Fault::NoHeader) {
    fail(rt, {read_fault, shown_name(offset_name), error_line(0), ""});
  }
  if (p.fault == OffsetParse::Fault::BadEntry) {
    fail(rt, {read_fault, shown_name(offset_name), error_line(kDosInvalidData), ""});
  }
  const OffsetTable& t = p.table;
  Value offsets = empty_list(static_cast<size_t>(t.n));
  Value counts = empty_list(static_cast<size_t>(t.n));
  for (long k = 0; k < t.n; ++k) {
    if (!t.present[k]) continue;
    offsets.as_array()->items[k] = Value::integer(t.offset[k]);
    counts.as_array()->items[k] = Value::integer(t.count[k]);
  }
  Value msme = empty_list(2);
  msme.as_array()->items[0] = offsets;
  msme.as_array()->items[1] = counts;
  set(rt, pub::MSME, msme);

  os::Result<os::File> ctl = os::File::open(rtl::resolve_name(rt, control_name).path,
                                            {os::Access::Read, os::Share::DenyNone});
  if (!ctl.ok())
    fail(rt, {ru("Ошибка при открытии файла управления"), shown_name(control_name), ""});
  int fd = ctl->fd();
  rtl::files(rt).handles[fd] = std::move(*ctl);
  runner(rt).control_handle = fd;
  set(rt, pub::HANDS, Value::integer(fd));

  Value* first = element(rt, offsets, 1, "MSME[1]");
  if (!first) return "";
  return read_param(rt, number_of(*first));
}

std::string read_param(Runtime& rt, long offset) {
  Runner& r = runner(rt);
  auto& handles = rtl::files(rt).handles;
  auto it = handles.find(r.control_handle);
  for (int tries = 1;; ++tries) {
    char buf[kMaxParamLength];
    os::Status failed;
    if (it != handles.end() && offset >= 0) {
      os::Result<size_t> n = it->second.read_at(static_cast<uint64_t>(offset), buf, sizeof buf);
      if (n.ok()) return std::string(param_text(std::string_view(buf, *n)));
      failed = n.status();
    } else {
      failed = os::Status::failure(os::kDosBadHandle, "control file not open");
    }
    eval::ErrorObject e =
        rtl::file_error(failed, eval::kErrRead, "CRSPAR", text_of(get(rt, pub::CONTROL)));
    e.can_retry = true;
    e.can_default = true;
    e.tries = tries;
    if (!rt.raise(e).is_retry()) return "";
  }
}

namespace {

Value crspar_fn(Runtime& rt, eval::Args) { return Value::string(crspar(rt)); }

}  // namespace

void register_crspar(eval::Registry& reg) {
  reg.function("CRSPAR", crspar_fn);  // load the offset table, open the control file
}

}  // namespace kvel::common
