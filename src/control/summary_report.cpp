#include "control/summary_report.h"

#include <string>

#include "common/tables.h"
#include "control/control_state.h"

namespace korvel {

namespace {

using namespace power_table;

constexpr const char* SUMMARY_FILE_NAME = "KORVEL.OUT";

void WRITE_SIMULATION_PARAMETERS() {
  OUT1.TEXT(COMMENT1).END_LINE();
  OUT1.TEXT(COMMENT2).END_LINE();
  OUT1.TEXT("Iteration factors:  ").INT(ITER1).TEXT("  ").INT(ITER2).TEXT("  ").INT(ITER3).END_LINE();
  if (STOP_T == 0)
    OUT1.TEXT("NO DRIFT!!!  ").TEXT("Samples are drawn directly from base population!!!").END_LINE();
  OUT1.TEXT("Statistical test:");
  if (RUN_CHI2 == 1) OUT1.TEXT(" Chi2");
  if (RUN_FISHER == 1) OUT1.TEXT(" Fisher");
  OUT1.END_LINE();
  OUT1.END_LINE();
  OUT1.TEXT("Number of loci = ").INT(NUMBLOCI, 3).END_LINE();
  OUT1.TEXT("Number of populations = ").INT(NUMBPOPS, 3).END_LINE();
  if (STOP_T > 0) OUT1.TEXT("Effective size when drifting apart = ").INT(DRIFT_SIZE, 5).END_LINE();
  OUT1.TEXT("Generations of drift = ").INT(STOP_T, 5).END_LINE();
  OUT1.TEXT("Number of runs/replicates = ").INT(STOP_RUNS, 8).END_LINE();
  OUT1.TEXT("Diploid sample sizes = ");
  for (int I = 1; I <= NUMBPOPS; ++I) OUT1.TEXT(" ").INT(SAMPLESIZE[I]);
  OUT1.END_LINE();
  OUT1.END_LINE();
}

void WRITE_BASE_POPULATION() {
  OUT1.TEXT("Base population allele frequencies:").END_LINE();
  for (int I = 1; I <= NUMBLOCI; ++I) {
    OUT1.TEXT("  Locus ").INT(I, 2).TEXT(":");
    for (int A = 1; A <= ALLELES_PER_LOCUS[I]; ++A) OUT1.REAL(BASEPOP[I][A], 7, 3);
    OUT1.END_LINE();
  }
  OUT1.END_LINE();
  OUT1.TEXT("Total number of alleles in base population = ").INT(STARTNUMBALLELES, 3).END_LINE();
  OUT1.TEXT(std::string(70, '-')).END_LINE();
  OUT1.END_LINE();
}

// The column header is left without its line end: the power table's first
// write ends it.
void WRITE_POWER_TABLE_HEADER() {
  OUT1.TEXT("Proportion of significances (P<0.05) for summed/combined test statistics:").END_LINE();
  OUT1.END_LINE();
  OUT1.TEXT("Loci", W_LOCI).TEXT("Alleles", W_ALLELES).TEXT("Runs", W_RUNS);
  OUT1.TEXT("#Chi2", W_CHI2_COUNT).TEXT("Chi2", W_CHI2_PROPORTION);
  OUT1.TEXT("#Fisher", W_FISHER_COUNT).TEXT("Fisher", W_FISHER_PROPORTION);
}

}  // namespace

void WRITE_OUTFILE() {
  OUT1.CREATE(SUMMARY_FILE_NAME);
  WRITE_SIMULATION_PARAMETERS();
  WRITE_BASE_POPULATION();
  WRITE_POWER_TABLE_HEADER();
}

}  // namespace korvel
