#include "init/support/panel.h"

#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <random>
#include <stdexcept>

namespace korvel::init::testing {

Panel RANDOM_PANEL(std::uint32_t seed, int loci, int alleles,
                   const std::vector<int>& individuals_per_population, double missing, int ploidy) {
  std::mt19937 generator(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> weights;
  for (int a = 0; a < alleles; ++a) weights.push_back(alleles - a);
  std::discrete_distribution<int> allele(weights.begin(), weights.end());
  Panel panel;
  for (int l = 0; l < loci; ++l) {
    panel.loci.push_back("L" + std::to_string(l + 1));
    panel.alleles.push_back(alleles);
  }
  for (std::size_t p = 0; p < individuals_per_population.size(); ++p) {
    panel.populations.push_back("P" + std::to_string(p + 1));
    for (int i = 0; i < individuals_per_population[p]; ++i) {
      Individual individual;
      individual.name = "P" + std::to_string(p + 1) + "_" + std::to_string(i + 1);
      individual.population = p;
      for (int l = 0; l < loci; ++l) {
        std::vector<int> call;
        if (unit(generator) >= missing) {
          for (int c = 0; c < ploidy; ++c) call.push_back(allele(generator));
        }
        individual.calls.push_back(call);
      }
      panel.individuals.push_back(individual);
    }
  }
  return panel;
}

std::vector<std::vector<double>> EXPECTED_FREQUENCIES(const Panel& panel,
                                                      std::optional<std::size_t> population) {
  std::vector<std::vector<double>> result;
  for (std::size_t l = 0; l < panel.loci.size(); ++l) {
    std::vector<long long> counts(static_cast<std::size_t>(panel.alleles[l]), 0);
    for (const Individual& individual : panel.individuals) {
      if (population && individual.population != *population) continue;
      for (int copy : individual.calls[l]) {
        if (copy != MISSING) ++counts[static_cast<std::size_t>(copy)];
      }
    }
    long long total = 0;
    std::size_t seen = 0;
    for (long long count : counts) {
      total += count;
      seen += count > 0 ? 1 : 0;
    }
    if (seen < 2) continue;
    std::vector<double> frequencies;
    for (long long count : counts) {
      if (count > 0) frequencies.push_back(static_cast<double>(count) / static_cast<double>(total));
    }
    result.push_back(frequencies);
  }
  return result;
}

std::string GENEPOP_TEXT(const Panel& panel, int digits, int first_code, const std::string& eol) {
  std::string text = "Test panel" + eol;
  for (std::size_t l = 0; l < panel.loci.size(); ++l) text += (l ? ", " : "") + panel.loci[l];
  text += eol;
  const auto code = [&](int copy) {
    std::string number = std::to_string(copy == MISSING ? 0 : first_code + copy);
    return std::string(static_cast<std::size_t>(digits) - number.size(), '0') + number;
  };
  std::size_t population = SIZE_MAX;
  for (const Individual& individual : panel.individuals) {
    if (individual.population != population) {
      text += "Pop" + eol;
      population = individual.population;
    }
    text += individual.name + " ,";
    for (const std::vector<int>& call : individual.calls) {
      text += " ";
      if (call.empty()) text += std::string(2 * static_cast<std::size_t>(digits), '0');
      for (int copy : call) text += code(copy);
    }
    text += eol;
  }
  return text;
}

void WRITE_VCF(const std::string& path, const Panel& panel, const VcfLayout& layout) {
  htsFile* file = hts_open(path.c_str(), layout.mode);
  if (file == nullptr) throw std::runtime_error("cannot create " + path);
  bcf_hdr_t* header = bcf_hdr_init("w");
  bcf_hdr_append(header, "##contig=<ID=chr1,length=100000000>");
  bcf_hdr_append(header, "##FILTER=<ID=LowQual,Description=\"Low quality\">");
  if (layout.gt_header)
    bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
  else bcf_hdr_append(header, "##FORMAT=<ID=DP,Number=1,Type=Integer,Description=\"Read depth\">");
  for (const Individual& individual : panel.individuals) bcf_hdr_add_sample(header, individual.name.c_str());
  if (bcf_hdr_sync(header) != 0 || bcf_hdr_write(file, header) != 0)
    throw std::runtime_error("cannot write the header of " + path);

  std::size_t ploidy = 1;
  for (const Individual& individual : panel.individuals) {
    for (const std::vector<int>& call : individual.calls) ploidy = std::max(ploidy, call.size());
  }
  const char* const bases[] = {"A", "C", "G", "T", "AC", "AG", "AT", "CA", "CG", "CT", "GA", "GC"};
  bcf1_t* record = bcf_init();
  for (std::size_t l = 0; l < panel.loci.size(); ++l) {
    bcf_clear(record);
    record->rid = bcf_hdr_name2id(header, "chr1");
    record->pos = static_cast<hts_pos_t>(100 * (l + 1));
    if (layout.ids) bcf_update_id(header, record, panel.loci[l].c_str());
    std::string alleles;
    for (int a = 0; a < panel.alleles[l]; ++a) alleles += (a ? "," : "") + std::string(bases[a]);
    bcf_update_alleles_str(header, record, alleles.c_str());
    const bool pass = layout.pass.empty() || layout.pass[l];
    int filter = bcf_hdr_id2int(header, BCF_DT_ID, pass ? "PASS" : "LowQual");
    bcf_update_filter(header, record, &filter, 1);
    if (layout.gt_header) {
      std::vector<int32_t> values;
      for (const Individual& individual : panel.individuals) {
        const std::vector<int>& call = individual.calls[l];
        for (std::size_t c = 0; c < ploidy; ++c) {
          if (call.empty()) values.push_back(c == 0 || ploidy == 2 ? bcf_gt_missing : bcf_int32_vector_end);
          else if (c >= call.size()) values.push_back(bcf_int32_vector_end);
          else if (call[c] == MISSING) values.push_back(bcf_gt_missing);
          else values.push_back(layout.phased ? bcf_gt_phased(call[c]) : bcf_gt_unphased(call[c]));
        }
      }
      bcf_update_genotypes(header, record, values.data(), static_cast<int>(values.size()));
    } else {
      std::vector<int32_t> depth(panel.individuals.size(), 12);
      bcf_update_format_int32(header, record, "DP", depth.data(), static_cast<int>(depth.size()));
    }
    if (bcf_write(file, header, record) != 0) throw std::runtime_error("cannot write a record of " + path);
  }
  bcf_destroy(record);
  bcf_hdr_destroy(header);
  if (hts_close(file) != 0) throw std::runtime_error("cannot close " + path);
}

std::string POPMAP_TEXT(const Panel& panel) {
  std::string text;
  for (const Individual& individual : panel.individuals) {
    text += individual.name + "\t" + panel.populations[individual.population] + "\n";
  }
  return text;
}

}  // namespace korvel::init::testing
