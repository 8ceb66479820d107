// The input library on its own: what tools rely on (positions, rewriting,
// the writer's round trip, faults they can catch). The program's use of it
// is covered by the input-file, broken-input and golden tests.
#include "input/input_document.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/text_input.h"
#include "input/capacity_fit.h"
#include "support/tricky_template.h"

namespace korvel {
namespace {

const std::string& TRICKY = testing::TRICKY_TEMPLATE;

std::string AT(const std::string& text, const TOKEN_SPAN& span) {
  return text.substr(span.OFFSET, span.LENGTH);
}

TEST(InputDocument, RecordsWhereEveryValueStands) {
  const INPUT_DOCUMENT d = READ_INPUT_TEXT("T.IN", TRICKY, STANDARD_CAPACITY);
  EXPECT_EQ(d.TEXT, TRICKY);
  EXPECT_EQ(AT(TRICKY, d.AT.COMMENT1), "Template \xE2\x80\x93 Ne 500, 10 generations");
  EXPECT_EQ(AT(TRICKY, d.AT.COMMENT2), "second comment 123 456");
  EXPECT_EQ(d.AT.COMMENT2.LINE, 2);
  EXPECT_EQ(AT(TRICKY, d.AT.ITER3), "500");
  EXPECT_EQ(d.AT.ITER3.LINE, 4);
  EXPECT_EQ(AT(TRICKY, d.AT.NUMBLOCI), "2");
  EXPECT_EQ(AT(TRICKY, d.AT.DRIFT_SIZE), "0500");
  EXPECT_EQ(d.AT.DRIFT_SIZE.LINE, 10);
  EXPECT_EQ(d.DRIFT_SIZE, 500);
  EXPECT_EQ(AT(TRICKY, d.AT.STOP_T), "+10");
  ASSERT_EQ(d.AT.SAMPLESIZE.size(), 3u);
  EXPECT_EQ(d.AT.SAMPLESIZE[2].LINE, 13);
  EXPECT_EQ(AT(TRICKY, d.AT.SAMPLESIZE[2]), "50");
  EXPECT_EQ(AT(TRICKY, d.AT.STOP_RUNS), "100");
  ASSERT_EQ(d.LOCI.size(), 2u);
  EXPECT_EQ(AT(TRICKY, d.LOCI[0].SPAN), "2 0.5\r\n   0.5 spread\r\n");
  EXPECT_EQ(d.LOCI[0].LAST_LINE, 18);
  EXPECT_EQ(d.LOCI[0].FREQUENCIES_ON_FIRST_LINE, 1);
  EXPECT_EQ(AT(TRICKY, d.LOCI[1].SPAN), "3 0.2 0.3 0.5");
  EXPECT_EQ(d.LOCI[1].FREQUENCIES, (std::vector<double>{0.2, 0.3, 0.5}));
}

// What the sweep does with a template: fewer loci, other sizes, N, t and
// the second comment, every other byte kept; the program's reader agrees.
TEST(InputDocument, TokensReplacedInPlaceReadBackAsTheNewValues) {
  const INPUT_DOCUMENT d = READ_INPUT_TEXT("T.IN", TRICKY, STANDARD_CAPACITY);
  std::vector<TOKEN_REPLACEMENT> changes = {{d.AT.STOP_T, "7"},
                                            {d.AT.DRIFT_SIZE, "16383"},
                                            {d.AT.NUMBLOCI, "1"},
                                            {d.AT.COMMENT2, "point 3"},
                                            {d.AT.SAMPLESIZE[1], "120"}};
  const std::string out = REPLACE_TOKENS(d.TEXT.substr(0, d.LOCI[0].SPAN.END()), changes);
  EXPECT_EQ(out.substr(0, d.AT.COMMENT2.OFFSET), TRICKY.substr(0, d.AT.COMMENT2.OFFSET));
  EXPECT_NE(out.find("point 3\r\n1000 20\r\n"), std::string::npos);
  EXPECT_NE(out.find("\f 16383\tNe \xC3\xA9 999\r\n7 generations 42\r\n50 120\r\n"), std::string::npos);
  EXPECT_TRUE(out.ends_with("\r\n----\r\nalleles\r\n2 0.5\r\n   0.5 spread\r\n"));

  const INPUT_DOCUMENT back = READ_INPUT_TEXT("OUT.IN", out, STANDARD_CAPACITY);
  EXPECT_EQ(back.COMMENT2, "point 3");
  EXPECT_EQ(back.DRIFT_SIZE, 16383);
  EXPECT_EQ(back.STOP_T, 7);
  EXPECT_EQ(back.SAMPLESIZE, (std::vector<INT16>{50, 120, 50}));
  EXPECT_EQ(back.LOCI.size(), 1u);
  EXPECT_EQ(back.ITER1, 1000);

  changes.push_back({{d.AT.STOP_T.OFFSET + 1, 1, 0}, "x"});  // overlaps the STOP_T change
  EXPECT_THROW(REPLACE_TOKENS(d.TEXT, changes), std::invalid_argument);
}

INPUT_DOCUMENT SAMPLE_DOCUMENT() {
  INPUT_DOCUMENT d;
  d.COMMENT1 = "data: pilot.gen\r\nwritten 2026-12-09, " + std::string(42, 'x') + "\xC3\xA9 beyond";
  d.COMMENT2 = "options: --sample 30";
  d.ITER1 = 1000, d.ITER2 = 100, d.ITER3 = 1000;
  d.RUN_CHI2 = 1, d.RUN_FISHER = 1;
  d.NUMBPOPS = 4, d.DRIFT_SIZE = 500, d.STOP_T = 21, d.STOP_RUNS = 1000;
  d.SAMPLESIZE = {30, 31, 16383, 1};
  std::mt19937 generator(11);
  std::uniform_int_distribution<int> counts(1, 400);
  const int alleles_per_locus[] = {2, 3, 7, 12, 100};
  for (int alleles : alleles_per_locus) {
    // Frequencies as a tool counts them: allele copies over gene copies.
    std::vector<int> copies(static_cast<std::size_t>(alleles));
    int total = 0;
    for (int& c : copies) total += (c = counts(generator));
    LOCUS_DOCUMENT locus;
    locus.ALLELES = static_cast<INT16>(alleles);
    for (int c : copies) locus.FREQUENCIES.push_back(static_cast<double>(c) / total);
    d.LOCI.push_back(locus);
  }
  d.LOCI[0].FREQUENCIES = {1.0 / 3.0, 2.0 / 3.0};
  d.LOCI[1].FREQUENCIES = {1e-9, 0.1, 0.9 - 1e-9};
  d.NUMBLOCI = static_cast<INT16>(d.LOCI.size());
  return d;
}

TEST(InputDocument, WrittenFileReadsBackToTheSameDocument) {
  const INPUT_DOCUMENT d = SAMPLE_DOCUMENT();
  const std::string text = WRITE_INPUT_TEXT(d);
  const INPUT_DOCUMENT back = READ_INPUT_TEXT("W.IN", text, STANDARD_CAPACITY);
  EXPECT_EQ(back.COMMENT1.size(), COMMENT_LENGTH - 1);  // not cut inside the two-byte character
  EXPECT_EQ(back.COMMENT1.substr(0, 24), "data: pilot.gen  written");
  EXPECT_EQ(back.COMMENT2, d.COMMENT2);
  EXPECT_EQ(back.ITER3, 1000);
  EXPECT_EQ(back.STOP_T, 21);
  EXPECT_EQ(back.SAMPLESIZE, d.SAMPLESIZE);
  ASSERT_EQ(back.LOCI.size(), d.LOCI.size());
  for (std::size_t l = 0; l < d.LOCI.size(); ++l) {
    EXPECT_EQ(back.LOCI[l].FREQUENCIES, d.LOCI[l].FREQUENCIES) << "locus " << l + 1;
    EXPECT_TRUE(FREQUENCY_SUM_PASSES(FREQUENCY_SUM(back.LOCI[l].FREQUENCIES)));
  }
  EXPECT_EQ(WRITE_INPUT_TEXT(back), text);
  EXPECT_EQ(text.substr(text.find("\r\n1000 100 1000") + 2, 34), "1000 100 1000      exact test: dem");

  INPUT_DOCUMENT inconsistent = d;
  inconsistent.NUMBLOCI = 4;
  EXPECT_THROW(WRITE_INPUT_TEXT(inconsistent), std::invalid_argument);
}

INPUT_FAULT FAULT_OF(const std::string& text, const CAPACITY_PROFILE& capacity) {
  try {
    READ_INPUT_TEXT("F.IN", text, capacity);
  } catch (const INPUT_FAULT& fault) {
    return fault;
  }
  ADD_FAILURE() << "accepted:\n" << text;
  return INPUT_FAULT(INPUT_FAULT::FILE_FAULT, "", 0, "", "", 0);
}

std::string FILE_WITH(const std::string& loci_count, const std::string& locus_lines) {
  return "c1\nc2\n100 10 100\n1 1\n0\n-\n" + loci_count + "\n3\n50\n5\n10 10 10\n2\n-\n-\n" + locus_lines;
}

TEST(InputDocument, FaultsCarryTheProgramsTextAndNameTheCause) {
  const INPUT_FAULT loci = FAULT_OF(FILE_WITH("101", ""), STANDARD_CAPACITY);
  EXPECT_EQ(loci.FAULT_KIND, INPUT_FAULT::CAPACITY);
  EXPECT_EQ(loci.CONSOLE, std::string(17, '\n') + "  TOO MANY LOCI!\n  Maximum for this version is 100.\n");
  EXPECT_EQ(loci.EXIT_STATUS, 1);
  EXPECT_EQ(loci.SUMMARY(), "F.IN line 7: number of loci is 101; korvel holds at most 100 loci");
  ASSERT_EQ(loci.NOTES.size(), 1u);
  EXPECT_NE(loci.NOTES[0].find("korvel-ml holds up to 5000: run korvel-ml"), std::string::npos);

  const INPUT_FAULT alleles = FAULT_OF(FILE_WITH("2", "2 0.5 0.5\n6 0.5 0.5 0 0 0 0\n"), MANY_LOCI_CAPACITY);
  EXPECT_EQ(alleles.LINE, 16);
  EXPECT_EQ(alleles.WHAT, "locus 2 declares 6 alleles; korvel-ml holds at most 5 alleles per locus");
  EXPECT_NE(alleles.NOTES.at(0).find("run korvel"), std::string::npos);

  const INPUT_FAULT sum = FAULT_OF(FILE_WITH("2", "2 0.5 0.5\n2 0.5 0.49\n"), STANDARD_CAPACITY);
  EXPECT_TRUE(sum.ALERT);
  EXPECT_EQ(sum.WHAT, "the frequencies of locus 2 sum to 0.99; they must sum to 1 within 0.000001");
  EXPECT_EQ(sum.CONSOLE.substr(10),
            "   PROGRAM HALTED\n   Allele frequencies do not sum to unity at Locus  2\n");

  // Locus 1 lacks a frequency: it takes locus 2's allele count as its
  // second frequency, locus 2 takes locus 3's line, and the file ends
  // before locus 3.
  const INPUT_FAULT run_on = FAULT_OF(FILE_WITH("3", "2 0.5\n3 0.2 0.3 0.5\n2 0.4 0.6\n"), STANDARD_CAPACITY);
  EXPECT_EQ(run_on.FAULT_KIND, INPUT_FAULT::FILE_ENDS);
  ASSERT_EQ(run_on.NOTES.size(), 1u);
  EXPECT_EQ(run_on.NOTES[0],
            "F.IN: locus 1 declares 2 alleles but line 15 holds only 1 frequency, so the frequencies were "
            "taken on from line 16");

  const INPUT_FAULT word = FAULT_OF(FILE_WITH("two", ""), STANDARD_CAPACITY);
  EXPECT_EQ(word.FAULT_KIND, INPUT_FAULT::INVALID_NUMBER);
  EXPECT_EQ(word.EXIT_STATUS, 106);
  EXPECT_EQ(
      word.CONSOLE,
      "Runtime error 106: invalid numeric format in F.IN line 7: \"two\" where the number of loci was expected\n");
  EXPECT_TRUE(word.NOTES.empty());

  try {
    READ_INPUT_FILE("/nonexistent/KORVEL.IN", STANDARD_CAPACITY);
    FAIL() << "read a missing file";
  } catch (const INPUT_FAULT& missing) {
    EXPECT_EQ(missing.EXIT_STATUS, 2);
    EXPECT_EQ(missing.SUMMARY(), "/nonexistent/KORVEL.IN: cannot open: No such file or directory");
  }
}

// The builds are tried smallest first, and each one passed over says every
// maximum it lacks: the loci, the widest locus (the first of the widest)
// with the count of loci over, and the populations.
TEST(CapacityFit, TheSmallestBuildThatHoldsTheDesignAndWhyNotTheOthers) {
  EXPECT_EQ(FIT_CAPACITY({{2, 100, 3}, 50}).PROFILE, &STANDARD_CAPACITY);
  EXPECT_TRUE(FIT_CAPACITY({{2, 100, 3}, 50}).WHY_NOT.empty());

  const CAPACITY_FIT many = FIT_CAPACITY({std::vector<int>(101, 5), 30});
  EXPECT_EQ(many.PROFILE, &MANY_LOCI_CAPACITY);
  ASSERT_EQ(many.WHY_NOT.size(), 1u);
  ASSERT_EQ(many.WHY_NOT[0].second.size(), 1u);
  EXPECT_EQ(many.WHY_NOT[0].second[0].WHAT, CAPACITY_SHORTFALL::LOCI);
  EXPECT_EQ(many.WHY_NOT[0].second[0].VALUE, 101);

  std::vector<int> alleles(5001, 2);
  alleles[7] = alleles[9] = 12;
  alleles[8] = 6;
  const CAPACITY_FIT none = FIT_CAPACITY({alleles, 51});
  EXPECT_EQ(none.PROFILE, nullptr);
  ASSERT_EQ(none.WHY_NOT.size(), 2u);
  EXPECT_EQ(none.WHY_NOT[0].second.size(), 2u);  // loci and populations; no locus over 100 alleles
  const std::vector<CAPACITY_SHORTFALL>& ml = none.WHY_NOT[1].second;
  ASSERT_EQ(ml.size(), 3u);
  EXPECT_EQ(ml[1].WHAT, CAPACITY_SHORTFALL::ALLELES);
  EXPECT_EQ(ml[1].MAXIMUM, 5);
  EXPECT_EQ(ml[1].VALUE, 12);
  EXPECT_EQ(ml[1].LOCI_OVER, 3);
  EXPECT_EQ(ml[1].WIDEST, 7);
  EXPECT_EQ(ml[2].VALUE, 51);
}

}  // namespace
}  // namespace korvel
