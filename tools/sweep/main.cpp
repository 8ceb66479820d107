// korvel-sweep: power curves over a range of differentiation.
#include "sweep_main.h"

int main(int argc, char** argv) {
  return korvel::tools::RUN_TOOL(korvel::sweep::TOOL, argc, argv, korvel::sweep::SWEEP_MAIN);
}
