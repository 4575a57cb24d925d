// Feeds arbitrary bytes to the readers of what users and other programs write
// for the runner: the first byte chooses the reader, the rest is its input.
//   0: an offset file and a control file, split at the first "\n%%\n": read
//      by CRSPAR and the parameter reads of a run, and turned into text;
//   1: the text source of a description, built into files and back;
//   2: a workstation configuration file, read by COLOR;
//   3: a command line, its arguments split at NUL bytes.
// Every damaged input must give a message or a fault of its own, never a
// crash, a hang or a result that contradicts the other readers.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/color.h"
#include "common/command_line.h"
#include "common/common.h"
#include "common/crspar.h"
#include "common/desc_text.h"
#include "common/description.h"
#include "common/publics.h"
#include "common/runner.h"
#include "platform/eval/runtime.h"
#include "platform/platform.h"

namespace {

namespace kc = kvel::common;
namespace pub = kvel::pub;
using kvel::eval::Value;

constexpr size_t kMaxInput = 1 << 16;
constexpr std::string_view kSplit = "\n%%\n";

// A private directory for the files of one process, removed at exit. The
// name lives in a static array, so that it outlasts the exit handler.
char dir_name[] = "/tmp/kvel-desc-fuzz-XXXXXX";

const std::string& temp_dir() {
  static const std::string dir = [] {
    if (!::mkdtemp(dir_name)) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir_name, ec);
    });
    return std::string(dir_name);
  }();
  return dir;
}

std::string write_temp(const char* name, std::string_view bytes) {
  std::string path = temp_dir() + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  return path;
}

// A runtime with a headless screen and the runner's functions, as a run has
// it before CRSPAR.
struct Run {
  kvel::eval::Runtime rt;
  Run() {
    kvel::setup_headless(rt);
    kc::register_common(rt.registry());
    kc::make_public(rt, pub::HANDS, Value::integer(0));
    kc::make_public(rt, pub::MSME, Value::new_array(0));
    // The run-time errors the description files may cause (an offset table
    // without entry 1) go to the error handler; here it answers each with
    // its default, as a handler that lets the run go on does.
    rt.set_error_handler([](kvel::eval::Runtime&, kvel::eval::ErrorObject&) {
      return kvel::eval::Answer::fallback();
    });
  }
};

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "desc_fuzz: %s\n", what);
  std::abort();
}

void fuzz_files(std::string_view data) {
  size_t cut = data.find(kSplit);
  std::string_view offset = data.substr(0, cut);
  std::string_view control =
      cut == std::string_view::npos ? std::string_view{} : data.substr(cut + kSplit.size());

  kc::OffsetParse p = kc::parse_offsets(offset);
  std::vector<std::vector<std::string>> strings(static_cast<size_t>(p.table.n));
  if (p.fault == kc::OffsetParse::Fault::None) {
    for (long k = 0; k < p.table.n; ++k) {
      if (p.table.present[k])
        strings[k] = kc::entry_strings(control, p.table.offset[k], p.table.count[k]);
    }
  }

  // Any pair of files has a text form that builds the same bytes again.
  kc::DescImage image{std::string(offset), std::string(control)};
  for (kc::TextEncoding enc : {kc::TextEncoding::Utf8, kc::TextEncoding::Cp866}) {
    kc::DescDecompile d = kc::decompile_description(image, enc);
    if (offset.size() >= kc::kOffsetRecordSize) check(d.error.empty(), d.error.c_str());
  }

  // The runner reads the same table and the same strings.
  Run run;
  kvel::eval::Runtime& rt = run.rt;
  kc::make_public(rt, pub::OFFSET, Value::string(write_temp("offset.0", offset)));
  kc::make_public(rt, pub::CONTROL, Value::string(write_temp("control.0", control)));
  std::string start;
  try {
    start = kc::crspar(rt);
  } catch (const kc::EndRun&) {
    check(p.fault != kc::OffsetParse::Fault::None, "CRSPAR refused a sound offset file");
    return;
  }
  check(p.fault == kc::OffsetParse::Fault::None, "CRSPAR took a faulty offset file");
  for (long k = 0; k < p.table.n; ++k) {
    if (!p.table.present[k] || strings[k].empty()) continue;
    std::string first = kc::read_param(rt, p.table.offset[k]);
    check(first == strings[k][0], "CRSPAR and the description reader disagree");
    if (k == 0) check(start == first, "CRSPAR gave another start record");
  }
  kc::close_control(rt);
}

void fuzz_text(std::string_view data) {
  kc::DescCompile c = kc::compile_description(data);
  if (!c.problems.empty()) {
    for (const kc::DescProblem& pr : c.problems) check(!pr.message.empty(), "empty message");
    return;
  }
  // What a source builds turns into text that builds the same bytes.
  kc::DescDecompile d = kc::decompile_description(c.image, kc::TextEncoding::Utf8);
  check(d.error.empty(), d.error.c_str());
  kc::DescCompile again = kc::compile_description(d.text);
  check(again.problems.empty() && again.image.offset == c.image.offset &&
            again.image.control == c.image.control,
        "built files do not come back from their text");
}

void fuzz_config(std::string_view data) {
  std::string bytes(data);
  (void)kc::colour_flag(bytes, true);
  (void)kc::colour_flag(bytes, false);
  Run run;
  kc::make_public(run.rt, pub::CFGFILE, Value::string(write_temp("flagco.txt", data)));
  kc::color(run.rt);
  kc::loadvar(run.rt);
}

void fuzz_command_line(std::string_view data) {
  std::vector<std::string> args;
  for (size_t pos = 0; pos <= data.size();) {
    size_t nul = data.find('\0', pos);
    if (nul == std::string_view::npos) nul = data.size();
    args.emplace_back(data.substr(pos, nul - pos));
    pos = nul + 1;
  }
  kc::CommandLine cl = kc::parse_command_line(args);
  kc::StartValues v = kc::start_values(cl);
  check(!v.ext.empty() && !v.cfgfile.empty(), "start values without a default");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kMaxInput) return 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  switch (data[0] % 4) {
    case 0:
      fuzz_files(rest);
      break;
    case 1:
      fuzz_text(rest);
      break;
    case 2:
      fuzz_config(rest);
      break;
    default:
      fuzz_command_line(rest);
      break;
  }
  return 0;
}
