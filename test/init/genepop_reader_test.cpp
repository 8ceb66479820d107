// The Genepop reader: the layouts the format is written in, and the faults
// it must name with their line.
#include <gtest/gtest.h>

#include <string>

#include "init.h"

namespace korvel::init {
namespace {

std::vector<long long> POOLED(const LocusCounts& locus) {
  std::vector<long long> pooled(locus.alleles.size(), 0);
  for (const auto& population : locus.counts) {
    for (std::size_t a = 0; a < population.size(); ++a) pooled[a] += population[a];
  }
  return pooled;
}

std::string FAULT(const std::string& text) {
  try {
    READ_GENEPOP_TEXT("data.gen", text);
  } catch (const InitError& error) {
    return error.what();
  }
  return "no fault";
}

TEST(GenepopReader, LocusNamesOnePerLineOrCommaSeparatedOverSeveralLines) {
  for (const std::string names : {"Loc1\nLoc 2\nLoc3\n", "Loc1, Loc 2,\nLoc3\n", "Loc1,Loc 2,Loc3,\n\n"}) {
    const GenotypeData data = READ_GENEPOP_TEXT("data.gen", "title\n" + names + "POP\nA1 , 0101 0102 0202\n");
    ASSERT_EQ(data.loci.size(), 3u) << names;
    EXPECT_EQ(data.loci[1].name, "Loc 2");
    EXPECT_EQ(data.loci[2].name, "Loc3");
  }
}

TEST(GenepopReader, TwoAndThreeDigitAllelesHaploidAndDiploidWithCrLfAndTabs) {
  const GenotypeData data = READ_GENEPOP_TEXT(
      "data.gen",
      "t\r\nA, B, C, D\r\npop\r\nx1 ,\t0102  102104 01 103\r\nx2 , 0202 104104\t02 105\r\n"
      "Pop  second\r\ny1 , 0303 102102 03 103\r\n");
  ASSERT_EQ(data.loci.size(), 4u);
  EXPECT_EQ(data.populations, (std::vector<std::string>{"x1", "second"}));
  EXPECT_EQ(data.individuals, (std::vector<long long>{2, 1}));
  EXPECT_EQ(data.ploidy, "mixed ploidy");
  EXPECT_EQ(data.loci[0].alleles, (std::vector<std::string>{"01", "02", "03"}));
  EXPECT_EQ(POOLED(data.loci[0]), (std::vector<long long>{1, 3, 2}));
  EXPECT_EQ(data.loci[1].alleles, (std::vector<std::string>{"102", "104"}));
  EXPECT_EQ(data.loci[1].counts[0], (std::vector<long long>{1, 3}));
  EXPECT_EQ(data.loci[1].counts[1], (std::vector<long long>{2, 0}));
  EXPECT_EQ(POOLED(data.loci[2]), (std::vector<long long>{1, 1, 1}));
  EXPECT_EQ(POOLED(data.loci[3]), (std::vector<long long>{2, 1}));
}

TEST(GenepopReader, MissingGenotypesAndMissingCopies) {
  const GenotypeData data = READ_GENEPOP_TEXT(
      "data.gen", "t\nA\nB\nPop\na1 , 0 000000\na2 , 0000 101000\na3 , 0101 000102\na4 , 00 0\n");
  // A has one call (a3); B: a2 and a3 give one copy each.
  EXPECT_EQ(data.loci[0].missing[0], 3);
  EXPECT_EQ(data.loci[0].called[0], 1);
  EXPECT_EQ(POOLED(data.loci[0]), (std::vector<long long>{2}));
  EXPECT_EQ(data.loci[1].missing[0], 2);
  EXPECT_EQ(data.loci[1].called[0], 2);  // a half-missing genotype is a call
  EXPECT_EQ(POOLED(data.loci[1]), (std::vector<long long>{1, 1}));
  EXPECT_EQ(data.individuals[0], 4);
  EXPECT_EQ(data.genotyped[0], 2);
}

TEST(GenepopReader, PopLinesInAnyCaseAndAStrayEmptyPopulation) {
  const GenotypeData data = READ_GENEPOP_TEXT("data.gen", "t\nA\npOp\na , 0101\n\nPOP\nPop\nb , 0202\nPOP\n");
  EXPECT_EQ(data.populations, (std::vector<std::string>{"a", "b"}));
  ASSERT_EQ(data.notes.size(), 2u);
  EXPECT_NE(data.notes[0].find("line 6"), std::string::npos) << data.notes[0];
  EXPECT_NE(data.notes[1].find("line 9"), std::string::npos) << data.notes[1];
}

TEST(GenepopReader, PopLineLabelsNamePopulationsAndAnIndividualNamedPopStaysOne) {
  const GenotypeData data = READ_GENEPOP_TEXT(
      "data.gen",
      "t\nA, B\nPop Borgou\n1 , 0101 0101\nPOP, Zebu  N'Dama\n2 , 0202 0101\n"
      "pop:3\n3 , 0102 0101\npop\npop , 0101 0202\nPop\t\n5 , 0101 0101\n");
  EXPECT_EQ(data.populations, (std::vector<std::string>{"Borgou", "Zebu  N'Dama", "3", "pop", "5"}));
  EXPECT_EQ(data.individuals, (std::vector<long long>{1, 1, 1, 1, 1}));
  EXPECT_EQ(data.loci[1].counts[3], (std::vector<long long>{0, 2}));  // the individual "pop"
}

TEST(GenepopReader, FaultsNameTheLineAndWhatWasExpected) {
  EXPECT_EQ(FAULT(""), "data.gen line 1: the file is empty");
  EXPECT_NE(FAULT("t\nA\nB\n").find("no Pop line"), std::string::npos);
  EXPECT_NE(FAULT("t\nPop\na , 0101\n").find("line 2: no locus names"), std::string::npos);
  EXPECT_NE(FAULT("t\nA, B\nPop\na , 0101 0101\nb , 0101\n")
                .find("line 5: individual \"b\" has 1 genotypes; the file names 2 loci"),
            std::string::npos);
  EXPECT_NE(FAULT("t\nA\nPop\na , 01O1\n")
                .find("line 4: individual \"a\", locus A: genotype \"01O1\" is not made of digits"),
            std::string::npos);
  EXPECT_NE(FAULT("t\nA\nPop\na , 10101\n").find("has 5 digits; expected 4 or 6"), std::string::npos);
  EXPECT_NE(
      FAULT("t\nA\nPop\na , 0101\nb , 101101\n")
          .find(
              "line 5: individual \"b\", locus A: genotype \"101101\" has 6 digits but line 4 gave this locus 4"),
      std::string::npos);
  EXPECT_NE(FAULT("t\nA\nPop\nno comma 0101\n").find("line 4: expected an individual"), std::string::npos);
  EXPECT_NE(FAULT("t\nA\nPop\nPop\n").find("no individuals"), std::string::npos);
}

}  // namespace
}  // namespace korvel::init
