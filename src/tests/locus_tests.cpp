// Fixed-locus detection and the per-locus test driver. Each tested locus's
// populations x alleles table reaches the two tests as the text of the file
// CONTTAB.XYZ, together with four fresh seeds for the exact test's chain and
// the chain's iteration settings. The text is formed in memory and lent to
// the tests while they read it (conttab_handoff.h); the caller writes it to
// the file in its place, so the file holds the very bytes the tests read.
#include "tests/locus_tests.h"

#include <array>
#include <initializer_list>
#include <string>

#include "common/capacity.h"
#include "common/number_types.h"
#include "common/random_generator.h"
#include "common/tables.h"
#include "common/text_format.h"
#include "tests/chisquare_test.h"
#include "tests/conttab_handoff.h"
#include "tests/test_state.h"

namespace korvel {

namespace {

// The chain's generator takes seeds in 1..168; the draws give 1..165.
constexpr std::uint32_t SEED_RANGE = 165;
constexpr int FIELD_WIDTH = 5;

// A number in a field of width 5, but always with at least one blank before
// it: a count of 10000 or more would otherwise run into its neighbour and
// the file would no longer read back as separate numbers.
void WRITE_FIELD(std::string& out, long long value) {
  const std::size_t start = out.size();
  APPEND_INT(out, value, FIELD_WIDTH);
  // The field starts with a blank exactly when the number is shorter.
  if (out[start] != ' ') out.insert(start, 1, ' ');
}

void END_LINE(std::string& out) { out += "\r\n"; }

}  // namespace

void TEST_EACH_LOCUS_FOR_FIXED_SAMPLES() {
  for (int j = 1; j <= NUMBLOCI; ++j) FIXED_LOCUS[j] = 0;
  // 32 bits: a run may sample more than 32767 gene copies per locus.
  const INT32 ALL_COPIES = 2 * TOTALSAMPLESIZE;
  for (int j = 1; j <= NUMBLOCI; ++j) {
    for (int k = 1; k <= ALLELES_PER_LOCUS[j]; ++k) {
      INT32 SUM = 0;
      for (int i = 1; i <= NUMBPOPS; ++i) {
        SUM += ALL_POPS_ACOUNT[i][j][k];
        if (SUM == ALL_COPIES) FIXED_LOCUS[j] = 1;
      }
    }
  }
  INT16 FIXED = 0;
  for (int j = 1; j <= NUMBLOCI; ++j) FIXED = static_cast<INT16>(FIXED + FIXED_LOCUS[j]);
  NUMB_NONFIXED_LOCI = static_cast<INT16>(NUMBLOCI - FIXED);
}

std::string MAKE_CONTTAB_TEXT() {
  // Drawn for every tested locus, test on or off, so that the program-wide
  // sequence does not depend on the test switches.
  const INT16 X1 = static_cast<INT16>(1 + INTEGER_DRAW(SEED_RANGE));
  const INT16 X2 = static_cast<INT16>(1 + INTEGER_DRAW(SEED_RANGE));
  const INT16 X3 = static_cast<INT16>(1 + INTEGER_DRAW(SEED_RANGE));
  const INT16 X4 = static_cast<INT16>(1 + INTEGER_DRAW(SEED_RANGE));

  // 32 bits: the pooled count of one allele may exceed 32767.
  std::array<INT32, MAX_ALLELES + 1> COLSUM{};
  for (int KK = 1; KK <= ALLELES_PER_LOCUS[J]; ++KK) {
    for (int II = 1; II <= NUMBPOPS; ++II) COLSUM[KK] += ALL_POPS_ACOUNT[II][J][KK];
  }
  INT16 COLUMNS = 0;
  for (int KK = 1; KK <= ALLELES_PER_LOCUS[J]; ++KK) {
    if (COLSUM[KK] > 0) ++COLUMNS;
  }

  std::string TEXT;
  TEXT.reserve(64 + static_cast<std::size_t>(NUMBPOPS) * (static_cast<std::size_t>(COLUMNS) * 6 + 2));
  WRITE_FIELD(TEXT, NUMBPOPS);
  WRITE_FIELD(TEXT, COLUMNS);
  WRITE_FIELD(TEXT, X1);
  WRITE_FIELD(TEXT, X2);
  WRITE_FIELD(TEXT, X3);
  WRITE_FIELD(TEXT, X4);
  for (const INT32 ITER : {ITER1, ITER2, ITER3}) {
    APPEND_BLANKS(TEXT, 2);
    APPEND_INT(TEXT, ITER);
  }
  END_LINE(TEXT);
  for (int II = 1; II <= NUMBPOPS; ++II) {
    for (int KK = 1; KK <= ALLELES_PER_LOCUS[J]; ++KK) {
      if (COLSUM[KK] > 0) WRITE_FIELD(TEXT, ALL_POPS_ACOUNT[II][J][KK]);
    }
    END_LINE(TEXT);
  }
  return TEXT;
}

LOCUS_TEST TEST_LOCUS_X(const std::string& CONTTAB_TEXT) {
  LOCUS_TEST TESTED;
  TESTED.RESULT.RUN = RUN;
  TESTED.RESULT.LOCUS = J;
  const CONTTAB_LOAN LOAN(CONTTAB_TEXT);
  if (TEST_IS_ON(RUN_CHI2)) {
    DO_CHISQUARE();
    TESTED.RESULT.CHI2 = CHISQ;
    TESTED.RESULT.CHI2_DF = static_cast<INT32>(DF);  // truncation towards zero
    TESTED.RESULT.CHI2_P = PROB;
  }
  if (TEST_IS_ON(RUN_FISHER)) {
    TESTED.CHAIN = std::make_unique<CHAIN_TASK>();
    TESTED.CHAIN->STATE.READINFILE();
  }
  return TESTED;
}

}  // namespace korvel
