// kvel: runs an application description (see `kvel //help`).
#include <string>
#include <vector>

#include "common/main.h"

int main(int argc, char** argv) {
  return kvel::common::run_main(std::vector<std::string>(argv, argv + argc));
}
