// kvel-eval: evaluates expressions, one a line, from a file or standard input,
// and prints each line, a TAB and its result in the canonical form of the
// conformance data. Lines of a conformance file (expression TAB result) are
// taken up to the TAB, so a file of cases can be fed back as it is.
//
//   kvel-eval [file]        evaluate and print
//   kvel-eval --check file  compare with the recorded results; exit 1 on a difference
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "tools/kvel_eval.h"

namespace {

int usage() {
  std::cerr << "usage: kvel-eval [file]\n       kvel-eval --check file\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool check = false;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--check")
      check = true;
    else if (a == "-h" || a == "--help")
      return usage();
    else if (path.empty())
      path = a;
    else
      return usage();
  }
  if (check && path.empty()) return usage();
  std::ifstream file;
  if (!path.empty()) {
    file.open(path, std::ios::binary);
    if (!file) {
      std::cerr << "kvel-eval: cannot open " << path << "\n";
      return 2;
    }
  }
  std::istream& in = path.empty() ? std::cin : file;
  kvel::eval::Runtime rt;
  kvel::tools::setup_runtime(rt);
  std::string line;
  int differ = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::string expr = line, expected;
    if (size_t tab = line.find('\t'); tab != std::string::npos) {
      expr = line.substr(0, tab);
      expected = line.substr(tab + 1);
    }
    std::string got = kvel::tools::eval_line(rt, expr);
    if (check) {
      if (got != expected) {
        ++differ;
        std::cout << expr << "\n  expected " << expected << "\n  got      " << got << "\n";
      }
    } else {
      std::cout << expr << '\t' << got << '\n';
    }
  }
  if (check) {
    std::cout << (differ ? std::to_string(differ) + " differ\n" : "all match\n");
    return differ ? 1 : 0;
  }
  return 0;
}
