#include <string>
#include <vector>

#include "front/front.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return zeltrim::exit_code(zeltrim::run_program(arguments));
}
