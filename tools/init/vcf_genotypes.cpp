// The gene copies of a VCF/BCF record: the GT field of every sample,
// counted per population and allele (REF and every ALT a class of its own).
#include <cstring>
#include <string>

#include "vcf_reader.h"

namespace korvel::init::vcf_file {

// Counts into one reused locus, so that reading allocates nothing per
// record once the buffers have grown.
void VcfReader::count_record(const bcf_hdr_t* header, bcf1_t* record) {
  ++counted_;
  const std::size_t alleles = record->n_allele;
  const std::size_t populations = data_.populations.size();
  tally_.assign(populations * (alleles + 1), 0);
  locus_.missing.assign(populations, 0);
  locus_.called.assign(populations, 0);
  bcf_unpack(record, BCF_UN_FMT);
  const bcf_fmt_t* gt = gt_id_ >= 0 ? bcf_get_fmt_id(record, gt_id_) : nullptr;
  if (gt == nullptr) {
    for (int population : population_of_sample_) {
      if (population >= 0) ++locus_.missing[static_cast<std::size_t>(population)];
    }
  } else {
    ++with_gt_;
    switch (gt->type) {
      case BCF_BT_INT8:
        count_calls<int8_t>(header, record, *gt, bcf_int8_missing, bcf_int8_vector_end);
        break;
      case BCF_BT_INT16:
        count_calls<int16_t>(header, record, *gt, bcf_int16_missing, bcf_int16_vector_end);
        break;
      case BCF_BT_INT32:
        count_calls<int32_t>(header, record, *gt, bcf_int32_missing, bcf_int32_vector_end);
        break;
      default:
        throw InitError(record_place(header, record) + ": the GT field is not stored as whole numbers");
    }
  }
  locus_.name = previous_;
  locus_.alleles.resize(alleles);
  for (std::size_t a = 0; a < alleles; ++a) locus_.alleles[a].assign(record->d.allele[a]);
  locus_.counts.resize(populations);
  for (std::size_t p = 0; p < populations; ++p) {
    const auto first = tally_.begin() + static_cast<std::ptrdiff_t>(p * (alleles + 1));
    locus_.counts[p].assign(first, first + static_cast<std::ptrdiff_t>(alleles));
  }
  if (options_.base != nullptr) options_.base->add(locus_);
  else data_.loci.push_back(locus_);
}

// The gene copies of every sample's call, read as htslib stores GT: per
// copy (allele + 1) * 2 (+ 1 when phased), 0 for a missing copy, and a
// vector-end value after the last copy of a call shorter than the
// record's longest.
template <typename Value>
void VcfReader::count_calls(const bcf_hdr_t* header, const bcf1_t* record, const bcf_fmt_t& gt, int missing,
                            int vector_end) {
  const std::size_t alleles = record->n_allele;
  const auto per_sample = static_cast<std::size_t>(gt.n);
  for (std::size_t s = 0; s < population_of_sample_.size(); ++s) {
    const int population = population_of_sample_[s];
    if (population < 0) continue;
    const auto pop = static_cast<std::size_t>(population);
    const std::uint8_t* values = gt.p + s * static_cast<std::size_t>(gt.size);
    if (per_sample == 2 &&
        COUNT_DIPLOID<Value>(values, tally_.data() + pop * (alleles + 1), static_cast<int>(alleles))) {
      called_[s] = 1;
      ++locus_.called[pop];
      diploid_ = true;
      continue;
    }
    std::size_t copies = 0;
    std::size_t length = 0;
    for (std::size_t j = 0; j < per_sample; ++j) {
      Value value;
      std::memcpy(&value, values + j * sizeof(Value), sizeof(Value));
      if (value == vector_end) break;
      ++length;
      if (value == missing || (value >> 1) == 0) continue;
      const int allele = (value >> 1) - 1;
      if (allele < 0 || static_cast<std::size_t>(allele) >= alleles) {
        throw InitError(record_place(header, record) + ", sample " + header->samples[s] +
                        ": the genotype names allele " + std::to_string(allele) +
                        " but the record has only " + std::to_string(alleles) + " (REF and ALT)");
      }
      ++tally_[pop * (alleles + 1) + static_cast<std::size_t>(allele)];
      ++copies;
    }
    count_sample(s, copies, length);
  }
}

void VcfReader::count_sample(std::size_t s, std::size_t copies, std::size_t length) {
  if (copies == 0) {
    ++locus_.missing[static_cast<std::size_t>(population_of_sample_[s])];
    return;
  }
  called_[s] = 1;
  ++locus_.called[static_cast<std::size_t>(population_of_sample_[s])];
  if (length == 1) haploid_ = true;
  else if (length == 2) diploid_ = true;
  else other_ploidy_ = true;
}

// The common call, two copies each an allele or missing ("1/."), counted
// without a branch per copy that random genotypes would mispredict.
// Returns false for anything else ("./.", a shorter call, a value out of
// range), which the general loop counts or refuses. `row` is the
// population's row of the tally, whose slot `alleles` takes a missing copy.
template <typename Value>
bool VcfReader::COUNT_DIPLOID(const std::uint8_t* values, long long* row, int alleles) {
  Value pair[2];
  std::memcpy(pair, values, sizeof pair);
  const int first = pair[0] >> 1;  // allele + 1, or 0 for a missing copy
  const int second = pair[1] >> 1;
  if (first < 0 || second < 0 || first > alleles || second > alleles || (first | second) == 0) return false;
  ++row[first == 0 ? alleles : first - 1];
  ++row[second == 0 ? alleles : second - 1];
  return true;
}

void VcfReader::note_ploidy() {
  for (std::size_t s = 0; s < called_.size(); ++s) {
    if (called_[s]) ++data_.genotyped[static_cast<std::size_t>(population_of_sample_[s])];
  }
  const int kinds = int(haploid_) + int(diploid_) + int(other_ploidy_);
  data_.ploidy = kinds > 1 ? "mixed ploidy" : haploid_ ? "haploid" : other_ploidy_ ? "polyploid" : "diploid";
}

}  // namespace korvel::init::vcf_file
