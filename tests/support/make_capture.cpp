// make_capture OUT.DT STATEMENTS: writes the capture a recipe describes, for the scripts that
// hand captures to other programs (e.g. make_capture x.DT "use can_mixed; set timeBase 0 0").
#include <cstdio>
#include <exception>

#include "capture_recipe.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_capture OUT.DT STATEMENTS\n");
    return 2;
  }
  try {
    dtconv::test::WriteFile(argv[1], dtconv::test::BuildRecipe(argv[2]));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_capture: %s\n", e.what());
    return 1;
  }
  return 0;
}
