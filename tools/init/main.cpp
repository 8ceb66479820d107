// korvel-init: writes a KORVEL.IN from Genepop or VCF/BCF genotypes.
#include <string>
#include <vector>

#include "init.h"

int main(int argc, char** argv) {
  return korvel::init::INIT_MAIN(std::vector<std::string>(argv + 1, argv + argc));
}
