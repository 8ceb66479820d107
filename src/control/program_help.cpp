#include "control/program_help.h"

#include <cstdio>
#include <cstring>

#include "common/capacity.h"
#include "common/korvel_version.h"
#include "control/seed_setting.h"
#include "control/thread_count.h"

namespace korvel {

namespace {

void print_help() {
  std::printf(
      "usage: %s            run the simulation that KORVEL.IN in the current folder describes\n"
      "       %s --help     this text\n"
      "       %s --version  the version\n"
      "\n"
      "Simulates populations drifting apart from a base population, samples them and tests\n"
      "the samples for differentiation (chi-square and exact tests), replicate after replicate.\n"
      "Reads KORVEL.IN from the current folder and writes KORVEL.OUT (the summary report) there,\n"
      "with FST.OUT, SUBPOPS.OUT, SAMPLES.OUT, LOCUSTST.OUT and SUMTEST.OUT unless KORVEL.IN\n"
      "asks for them to be deleted. This build takes up to %d loci, %d alleles per locus and\n"
      "%d populations%s.\n"
      "\n"
      "Environment:\n"
      "  %-14s the generator seed (0..4294967295); without it the seed comes from the clock\n"
      "                 and is printed, so that the run can be repeated\n"
      "  %-14s threads of the exact tests (default: the cores this process may use)\n"
      "\n"
      "Exit status: 0 when the run finished, non-zero when the input or a setting is refused\n"
      "or a file cannot be written (the message says which and where).\n"
      "See man %s, korvel-init(1) and korvel-sweep(1).\n",
      BUILD_NAME, BUILD_NAME, BUILD_NAME, MAX_LOCI, MAX_ALLELES, MAX_POPS,
      std::strcmp(BUILD_NAME, "korvel") == 0 ? " (korvel-ml takes more loci)"
                                             : " (korvel takes more alleles and populations)",
      SEED_VARIABLE, THREADS_VARIABLE, BUILD_NAME);
}

}  // namespace

std::optional<int> ANSWER_HELP_OR_VERSION(const char* argument) {
  if (std::strcmp(argument, "--help") == 0) {
    print_help();
    return 0;
  }
  if (std::strcmp(argument, "--version") == 0) {
    std::printf("%s %s\n", BUILD_NAME, KORVEL_VERSION);
    return 0;
  }
  return std::nullopt;
}

}  // namespace korvel
