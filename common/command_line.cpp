#include "common/command_line.h"

#include <cstring>

#include "common/cp866_text.h"
#include "platform/rtl/cp866.h"

namespace kvel::common {
namespace {

bool starts_with_nocase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (rtl::cp866::lower(static_cast<uint8_t>(s[i])) != static_cast<uint8_t>(prefix[i])) {
      return false;
    }
  }
  return true;
}

// A directory with its separator: "\" when the name is written with "\" only,
// else "/".
std::string with_separator(std::string dir) {
  if (dir.empty() || dir.back() == '/' || dir.back() == '\\') return dir;
  bool dos = dir.find('\\') != std::string::npos && dir.find('/') == std::string::npos;
  return dir + (dos ? '\\' : '/');
}

void platform_switch(CommandLine& cl, const std::string& arg) {
  std::string sw = arg.substr(arg.find("//") + 2);
  cl.switches.push_back(sw);
  if (starts_with_nocase(sw, "headless") && sw.size() == 8) cl.headless = true;
  if (starts_with_nocase(sw, "help") && sw.size() == 4) cl.help = true;
  if (starts_with_nocase(sw, "keys=")) {
    cl.keys_file = sw.substr(5);
    cl.headless = true;
  }
}

}  // namespace

std::string title_to_cp866(const std::string& arg) {
  bool ascii = true;
  for (unsigned char b : arg) ascii = ascii && b < 0x80;
  if (!ascii && is_valid_utf8(arg)) return to866(arg);
  std::string out;
  for (unsigned char b : arg) {
    if (b >= 0xC0 && b <= 0xEF) {
      out += static_cast<char>(b - 0x40);  // А..п
    } else if (b >= 0xF0) {
      out += static_cast<char>(b - 0x10);  // р..я
    } else if (b == 0xA8) {
      out += '\xF0';  // Ё
    } else if (b == 0xB8) {
      out += '\xF1';  // ё
    } else if (b == 0xB9) {
      out += '\xFC';  // №
    } else {
      out += static_cast<char>(b);
    }
  }
  return out;
}

CommandLine parse_command_line(const std::vector<std::string>& args) {
  CommandLine cl;
  for (const std::string& a : args) {
    if (starts_with_nocase(a, "ext=")) {
      cl.ext = a.substr(4);
    } else if (starts_with_nocase(a, "cpath=")) {
      cl.cpath = a.substr(6);
    } else if (starts_with_nocase(a, "spath=")) {
      cl.spath = a.substr(6);
    } else if (starts_with_nocase(a, "cfg=")) {
      cl.cfg = a.substr(4);
    } else if (starts_with_nocase(a, "title=")) {
      cl.title = title_to_cp866(a.substr(6));
      cl.has_title = true;
    } else if (a.find("//") != std::string::npos) {
      platform_switch(cl, a);
    } else if (a.find('/') != std::string::npos) {
      cl.option = a;
      cl.has_option = true;
    } else {
      for (std::string* v : {&cl.ext, &cl.cpath, &cl.spath, &cl.cfg}) {
        if (v->empty()) {
          *v = a;
          break;
        }
      }
    }
  }
  return cl;
}

StartValues start_values(const CommandLine& cl) {
  StartValues v;
  v.ext = cl.ext.empty() ? "0" : cl.ext;
  v.cfgfile = cl.cfg.empty() ? "flagco.txt" : cl.cfg;
  v.title = cl.has_title ? cl.title : ru("КВЕЛ");
  std::string d = cl.option;
  if (!d.empty() && d[0] == '/') d.erase(0, 1);
  for (size_t p; (p = d.find("^^")) != std::string::npos;) d.replace(p, 2, "^");
  v.dospar = d;
  v.ckpril = "[]";
  if (!d.empty()) {
    for (size_t start = 0;;) {
      size_t slash = d.find('/', start);
      v.adospar.push_back(d.substr(start, slash - start));
      if (slash == std::string::npos) break;
      start = slash + 1;
    }
    size_t caret = d.find('^');
    if (caret != std::string::npos) {
      std::string codes = rtl::cp866::upper(d.substr(caret + 1));
      codes = codes.substr(0, codes.find('/'));
      std::string list;
      for (char c : codes) list += c == ',' ? std::string("],[") : std::string(1, c);
      v.ckpril = "[" + list + "]";
    }
  }
  v.cpath = with_separator(cl.cpath);
  v.offset = v.cpath + "offset." + v.ext;
  v.control = v.cpath + "control." + v.ext;
  std::string sp = with_separator(cl.spath);
  v.set_up = sp + "Setup";
  v.iset_up = sp + "Setup";
  return v;
}

std::string usage_text() {
  return "usage: kvel [ext=EXT] [cpath=DIR] [spath=DIR] [cfg=FILE] [title=TEXT] [/OPTIONS]\n"
         "            [EXT [CPATH [SPATH [CFG]]]] [//SWITCH ...]\n"
         "\n"
         "Runs the application description DIR/offset.EXT and DIR/control.EXT.\n"
         "  ext=EXT     extension of the offset and control files (default 0)\n"
         "  cpath=DIR   directory of the offset and control files (default: current)\n"
         "  spath=DIR   directory of the setup table Setup.dbf (default: current)\n"
         "  cfg=FILE    workstation configuration file (default flagco.txt)\n"
         "  title=TEXT  console window title\n"
         "  /a/b^c,d    option string: DOSPAR, ADOSPAR and CKPRIL of the description\n"
         "Keywords may be written in any case; values without a keyword fill ext, cpath,\n"
         "spath and cfg in that order.\n"
         "\n"
         "Switches of the runner itself:\n"
         "  //headless     run on a virtual screen without a terminal\n"
         "  //keys=FILE    take the keys from a key script (implies //headless)\n"
         "  //help         show this text\n"
         "  //dump=FILE    with //headless: write the screen at each checkpoint of the\n"
         "                 key script and at the end to FILE\n"
         "  //mono         with //headless: a screen without colours (monochrome set)\n"
         "Other \"//\" switches are ignored.\n"
         "\n"
         "The process ends with the exit code set last: 0 normally, 99 when the error\n"
         "handler ended the run, or the code set by QUIT or an external command.\n";
}

}  // namespace kvel::common
