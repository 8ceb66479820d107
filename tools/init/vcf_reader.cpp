// VCF and BCF, plain or compressed, read through htslib: the GT field of
// every record gives the gene copies of each allele (REF and every ALT are
// classes of their own) per population.
#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "init.h"

namespace korvel::init {

namespace {

struct HtsFileCloser {
  void operator()(htsFile* file) const { hts_close(file); }
};
struct HeaderFreer {
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
};
struct RecordFreer {
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
};
struct BufferFreer {
  void operator()(void* buffer) const { std::free(buffer); }
};
using HtsFile = std::unique_ptr<htsFile, HtsFileCloser>;

HtsFile OPEN_HTS(const std::string& path) {
  // htslib's own warnings (an undeclared contig, say) would bury the
  // summary; its errors about a record still show before our message, but
  // a file that cannot be opened is ours alone to report.
  hts_set_log_level(HTS_LOG_OFF);
  errno = 0;
  HtsFile file(hts_open(path.c_str(), "r"));
  hts_set_log_level(HTS_LOG_ERROR);
  if (!file) {
    throw InitError("cannot read " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
  }
  return file;
}

std::string LOCUS_NAME(const bcf_hdr_t* header, bcf1_t* record) {
  const char* id = record->d.id;
  if (id != nullptr && std::strcmp(id, ".") != 0 && *id != '\0') return id;
  return std::string(bcf_hdr_id2name(header, record->rid)) + ":" + std::to_string(record->pos + 1);
}

std::string NAME_LIST(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 5; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > 5) text += ", ...";
  return text;
}

class VcfReader {
 public:
  VcfReader(const std::string& path, const VcfOptions& options) : path_(path), options_(options) {}

  GenotypeData read() {
    HtsFile file = OPEN_HTS(path_);
    const htsFormat* format = hts_get_format(file.get());
    if (format->format != vcf && format->format != bcf) {
      throw InitError(path_ + " is not a VCF or BCF file");
    }
    data_.source = path_;
    data_.format = format->format == bcf                   ? "BCF"
                   : format->compression == bgzf           ? "bgzipped VCF"
                   : format->compression == no_compression ? "VCF"
                                                           : "compressed VCF";
    std::unique_ptr<bcf_hdr_t, HeaderFreer> header(bcf_hdr_read(file.get()));
    if (!header) throw InitError(path_ + ": htslib cannot read the VCF header");
    assign_samples(header.get());
    const int gt_id = bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT");
    if (!bcf_hdr_idinfo_exists(header.get(), BCF_HL_FMT, gt_id)) {
      throw InitError(path_ +
                      ": the header declares no GT (genotype) field, so there are no genotypes to count");
    }

    std::unique_ptr<bcf1_t, RecordFreer> record(bcf_init());
    long long number = 0;
    std::string previous = "the header";
    int status = 0;
    while ((status = bcf_read(file.get(), header.get(), record.get())) == 0) {
      ++number;
      if (record->errcode != 0 || bcf_unpack(record.get(), BCF_UN_ALL) != 0) {
        throw InitError(path_ + " record " + std::to_string(number) + " (after " + previous +
                        "): htslib cannot read it");
      }
      previous = LOCUS_NAME(header.get(), record.get());
      if (options_.pass_only && bcf_has_filter(header.get(), record.get(), const_cast<char*>("PASS")) != 1) {
        ++not_pass_;
        continue;
      }
      count_record(header.get(), record.get(), number);
    }
    if (status < -1) {
      throw InitError(path_ + " record " + std::to_string(number + 1) + " (after " + previous +
                      "): htslib cannot read it (malformed or truncated)");
    }
    finish();
    return std::move(data_);
  }

 private:
  // Every sample goes to its population, or is left out when a population
  // map does not name it. A map naming a sample the file does not hold is
  // refused: it usually means the map belongs to other data.
  void assign_samples(const bcf_hdr_t* header) {
    const int samples = bcf_hdr_nsamples(header);
    if (samples == 0)
      throw InitError(path_ + ": the file has no samples, so there are no genotypes to count");
    population_of_sample_.assign(static_cast<std::size_t>(samples), -1);
    if (options_.popmap == nullptr) {
      data_.populations.push_back("all samples");
      population_of_sample_.assign(static_cast<std::size_t>(samples), 0);
    } else {
      data_.populations = options_.popmap->populations;
      std::map<std::string, int> sample_index;
      for (int s = 0; s < samples; ++s) sample_index[header->samples[s]] = s;
      for (const auto& [sample, population] : options_.popmap->population_of) {
        const auto found = sample_index.find(sample);
        if (found == sample_index.end()) {
          throw InitError(options_.popmap_name + " line " +
                          std::to_string(options_.popmap->line_of.at(sample)) + ": sample \"" + sample +
                          "\" is not in " + path_);
        }
        population_of_sample_[static_cast<std::size_t>(found->second)] = static_cast<int>(population);
      }
      std::vector<std::string> unmapped;
      for (int s = 0; s < samples; ++s) {
        if (population_of_sample_[static_cast<std::size_t>(s)] < 0) unmapped.push_back(header->samples[s]);
      }
      if (!unmapped.empty()) {
        data_.notes.push_back(std::to_string(unmapped.size()) + " sample" +
                              (unmapped.size() == 1 ? "" : "s") + " not in " + options_.popmap_name +
                              " left out: " + NAME_LIST(unmapped));
      }
    }
    data_.individuals.assign(data_.populations.size(), 0);
    data_.genotyped.assign(data_.populations.size(), 0);
    for (int population : population_of_sample_) {
      if (population >= 0) ++data_.individuals[static_cast<std::size_t>(population)];
    }
    called_.assign(static_cast<std::size_t>(samples), false);
  }

  void count_record(const bcf_hdr_t* header, bcf1_t* record, long long number) {
    LocusCounts locus;
    locus.name = LOCUS_NAME(header, record);
    const std::size_t alleles = record->n_allele;
    for (std::size_t a = 0; a < alleles; ++a) locus.alleles.emplace_back(record->d.allele[a]);
    locus.counts.assign(data_.populations.size(), std::vector<long long>(alleles, 0));
    locus.missing.assign(data_.populations.size(), 0);

    int32_t* raw = gt_buffer_.release();
    const int values = bcf_get_genotypes(header, record, &raw, &gt_capacity_);
    gt_buffer_.reset(raw);
    const std::size_t samples = population_of_sample_.size();
    const std::size_t ploidy = values > 0 ? static_cast<std::size_t>(values) / samples : 0;
    for (std::size_t s = 0; s < samples; ++s) {
      const int population = population_of_sample_[s];
      if (population < 0) continue;
      const auto pop = static_cast<std::size_t>(population);
      std::size_t copies = 0;
      std::size_t length = 0;
      for (std::size_t j = 0; j < ploidy; ++j) {
        const int32_t value = raw[s * ploidy + j];
        if (value == bcf_int32_vector_end) break;
        ++length;
        if (value == bcf_int32_missing || bcf_gt_is_missing(value)) continue;
        const int allele = bcf_gt_allele(value);
        if (allele < 0 || static_cast<std::size_t>(allele) >= alleles) {
          throw InitError(path_ + " record " + std::to_string(number) + " (" + locus.name + "), sample " +
                          header->samples[s] + ": the genotype names allele " + std::to_string(allele) +
                          " but the record has only " + std::to_string(alleles) + " (REF and ALT)");
        }
        ++locus.counts[pop][static_cast<std::size_t>(allele)];
        ++copies;
      }
      if (copies == 0) {
        ++locus.missing[pop];
      } else {
        called_[s] = true;
        if (length == 1) haploid_ = true;
        else if (length == 2) diploid_ = true;
        else other_ploidy_ = true;
      }
    }
    data_.loci.push_back(std::move(locus));
  }

  void finish() {
    for (std::size_t s = 0; s < called_.size(); ++s) {
      if (called_[s]) ++data_.genotyped[static_cast<std::size_t>(population_of_sample_[s])];
    }
    const int kinds = int(haploid_) + int(diploid_) + int(other_ploidy_);
    data_.ploidy = kinds > 1       ? "mixed ploidy"
                   : haploid_      ? "haploid"
                   : other_ploidy_ ? "polyploid"
                                   : "diploid";
    if (not_pass_ > 0) {
      data_.notes.push_back(std::to_string(not_pass_) + " record" + (not_pass_ == 1 ? "" : "s") +
                            " without FILTER PASS left out (--pass-only)");
    }
    if (data_.loci.empty()) {
      throw InitError(path_ + ": no records" + std::string(not_pass_ > 0 ? " with FILTER PASS" : "") +
                      ", so there are no loci");
    }
  }

  const std::string& path_;
  const VcfOptions& options_;
  GenotypeData data_;
  std::vector<int> population_of_sample_;  // -1: left out
  std::vector<bool> called_;               // sample has a call at some record
  std::unique_ptr<int32_t, BufferFreer> gt_buffer_;
  int gt_capacity_ = 0;
  long long not_pass_ = 0;
  bool haploid_ = false;
  bool diploid_ = false;
  bool other_ploidy_ = false;
};

}  // namespace

GenotypeData READ_VCF(const std::string& path, const VcfOptions& options) {
  return VcfReader(path, options).read();
}

DataFormat DETECT_FORMAT(const std::string& path) {
  HtsFile file = OPEN_HTS(path);
  const htsFormat* format = hts_get_format(file.get());
  if (format->format == vcf || format->format == bcf) return DataFormat::VCF;
  if (format->format == text_format || format->format == unknown_format) {
    if (format->compression != no_compression) {
      throw InitError(path + " is compressed and not VCF; korvel-init reads a Genepop file uncompressed");
    }
    return DataFormat::GENEPOP;
  }
  if (format->format == empty_format) throw InitError(path + " is empty");
  char* description = hts_format_description(format);
  const std::string what = description != nullptr ? description : "not a text";
  std::free(description);
  throw InitError(path + " is " + what + " data, neither Genepop nor VCF/BCF");
}

}  // namespace korvel::init
