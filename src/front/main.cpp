#include <string>
#include <vector>

#include "front/front.h"

int main(int argc, char** argv) {
  // The arguments that follow the program's name.
  return zeltrim::exit_code(zeltrim::run_program({argv + (argc > 0 ? 1 : 0), argv + argc}));
}
