#include "output/population_files.h"

#include <string_view>

#include "common/tables.h"
#include "common/text_file.h"
#include "input/shared_names.h"

namespace korvel {

namespace {

// The header both files share, but for the two lines that say what their
// run blocks hold.
void WRITE_HEADER(TextOut& out, std::string_view what, std::string_view how) {
  out.TEXT("Base population allele frequencies").END_LINE();
  out.END_LINE();
  for (INT16 j = 1; j <= NUMBLOCI; ++j) {
    out.TEXT("  Locus ").INT(j, 2).TEXT(":");
    for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) out.REAL(BASEPOP[j][k], 7, 3);
    out.END_LINE();
  }
  out.TEXT("----------------------------------------").END_LINE();
  out.TEXT(what).END_LINE();
  out.TEXT(how).END_LINE();
  out.END_LINE();
}

// One run block; `write_allele` writes the field of allele k of locus j in
// population i.
template <typename AlleleField>
void WRITE_RUN_BLOCK(TextOut& out, AlleleField write_allele) {
  out.TEXT("Run = ").INT(RUN, 5).TEXT(",");
  out.TEXT("   t = ").INT(T, 3).TEXT(",");
  out.TEXT("  Fst = ").REAL(FSTPRIME, 6, 4).END_LINE();
  for (INT16 j = 1; j <= NUMBLOCI; ++j) {
    out.TEXT("Locus ").INT(j, 2).END_LINE();
    for (INT16 i = 1; i <= NUMBPOPS; ++i) {
      out.TEXT("Pop ").INT(i, 2).BLANKS(2);
      for (INT16 k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) write_allele(i, j, k);
      out.END_LINE();
    }
    out.END_LINE();
  }
}

}  // namespace

void INITIALIZE_SUBPOPS() {
  OUT6.CREATE(SUBPOPS_FILE_NAME);
  WRITE_HEADER(OUT6, "Allele frequencies for each run, locus, and subpopulation after the",
               "\"drift-apart\" process is completed (cf. FST.OUT):");
}

void INITIALIZE_SAMPLES() {
  OUT7.CREATE(SAMPLES_FILE_NAME);
  WRITE_HEADER(OUT7, "Alleles sampled from the final subpopulations (after drifting apart).",
               "Number of alleles of each type per run, locus, and subpopulation:");
}

void WRITE_TO_SUBPOPS() {
  WRITE_RUN_BLOCK(OUT6, [](INT16 i, INT16 j, INT16 k) { OUT6.REAL(ALL_POPS_AFREQ[i][j][k], 7, 3); });
}

void WRITE_TO_SAMPLES() {
  WRITE_RUN_BLOCK(OUT7, [](INT16 i, INT16 j, INT16 k) { OUT7.INT(ALL_POPS_ACOUNT[i][j][k], 7); });
}

}  // namespace korvel
