// korvel-init: writes a KORVEL.IN from Genepop or VCF/BCF genotypes.
#include "init.h"

int main(int argc, char** argv) {
  return korvel::tools::RUN_TOOL(korvel::init::TOOL, argc, argv, korvel::init::INIT_MAIN);
}
