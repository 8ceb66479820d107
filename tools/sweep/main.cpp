// korvel-sweep: power curves over a range of differentiation.
#include <string>
#include <vector>

#include "sweep.h"

int main(int argc, char** argv) {
  return korvel::sweep::SWEEP_MAIN(std::vector<std::string>(argv + 1, argv + argc));
}
