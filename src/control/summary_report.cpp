#include "control/summary_report.h"

#include <string>

#include "common/tables.h"
#include "control/control_state.h"
#include "input/report_layout.h"
#include "input/shared_names.h"

namespace korvel {

namespace {

namespace layout = report_layout;

void WRITE_SIMULATION_PARAMETERS() {
  OUT1.TEXT(COMMENT1).END_LINE();
  OUT1.TEXT(COMMENT2).END_LINE();
  OUT1.TEXT("Iteration factors:  ").INT(ITER1).TEXT("  ").INT(ITER2).TEXT("  ").INT(ITER3).END_LINE();
  if (STOP_T == 0)
    OUT1.TEXT("NO DRIFT!!!  ").TEXT("Samples are drawn directly from base population!!!").END_LINE();
  OUT1.TEXT(layout::TESTS_LABEL);
  if (RUN_CHI2 == 1) OUT1.TEXT(layout::CHI2_NAME);
  if (RUN_FISHER == 1) OUT1.TEXT(layout::FISHER_NAME);
  OUT1.END_LINE();
  OUT1.END_LINE();
  OUT1.TEXT("Number of loci = ").INT(NUMBLOCI, 3).END_LINE();
  OUT1.TEXT("Number of populations = ").INT(NUMBPOPS, 3).END_LINE();
  if (STOP_T > 0) OUT1.TEXT(layout::EFFECTIVE_SIZE_LABEL).INT(DRIFT_SIZE, 5).END_LINE();
  OUT1.TEXT(layout::GENERATIONS_LABEL).INT(STOP_T, 5).END_LINE();
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
    for (int J = 1; J <= ALLELES_PER_LOCUS[I]; ++J) OUT1.REAL(BASEPOP[I][J], 7, 3);
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
  OUT1.TEXT(layout::LOCI_TITLE, layout::W_LOCI)
      .TEXT(layout::ALLELES_TITLE, layout::W_ALLELES)
      .TEXT(layout::RUNS_TITLE, layout::W_RUNS)
      .TEXT(layout::CHI2_COUNT_TITLE, layout::W_CHI2_COUNT)
      .TEXT(layout::CHI2_TITLE, layout::W_PROPORTION)
      .TEXT(layout::FISHER_COUNT_TITLE, layout::W_FISHER_COUNT)
      .TEXT(layout::FISHER_TITLE, layout::W_PROPORTION);
}

}  // namespace

void WRITE_OUTFILE() {
  OUT1.CREATE(SUMMARY_FILE_NAME);
  WRITE_SIMULATION_PARAMETERS();
  WRITE_BASE_POPULATION();
  WRITE_POWER_TABLE_HEADER();
}

}  // namespace korvel
