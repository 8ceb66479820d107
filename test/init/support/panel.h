// Genotypes made up by a test, written as Genepop text or as VCF/BCF
// through htslib, and the frequencies a correct korvel-init must find,
// counted here independently of the tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel::init::testing {

inline constexpr int MISSING = -1;

struct Individual {
  std::string name;
  std::size_t population = 0;
  // [locus] allele indices (0-based) of the gene copies; MISSING for a
  // missing copy; an empty vector for a missing genotype.
  std::vector<std::vector<int>> calls;
};

struct Panel {
  std::vector<std::string> loci;
  std::vector<int> alleles;              // [locus] alleles declared (VCF REF + ALT)
  std::vector<std::string> populations;  // used for popmaps and --pop
  std::vector<Individual> individuals;
};

// A panel of random genotypes: `alleles` alleles per locus, with allele 0
// the commonest; each individual's genotype is missing with probability
// `missing`. Same seed, same panel.
Panel RANDOM_PANEL(std::uint32_t seed, int loci, int alleles,
                   const std::vector<int>& individuals_per_population, double missing = 0.0, int ploidy = 2);

// Frequencies of the alleles seen, in allele order, pooled over all
// populations or of one; loci with fewer than two alleles seen are absent.
std::vector<std::vector<double>> EXPECTED_FREQUENCIES(const Panel& panel,
                                                      std::optional<std::size_t> population = {});

// Genepop text: allele index a is written as code `first_code` + a with
// `digits` digits per allele (2 or 3); names comma-separated on one line.
std::string GENEPOP_TEXT(const Panel& panel, int digits = 3, int first_code = 101,
                         const std::string& eol = "\n");

struct VcfLayout {
  const char* mode = "wz";  // "w" plain VCF, "wz" bgzipped VCF, "wb" BCF
  bool ids = true;          // ID column from the locus names, else "."
  bool phased = false;
  std::vector<bool> pass;  // [locus] FILTER PASS (default all) or LowQual
  bool gt_header = true;   // FORMAT/GT, else FORMAT/DP only
};

void WRITE_VCF(const std::string& path, const Panel& panel, const VcfLayout& layout = {});

// "sample<TAB>population" lines for every individual.
std::string POPMAP_TEXT(const Panel& panel);

}  // namespace korvel::init::testing
