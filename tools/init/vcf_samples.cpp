// The header of a VCF or BCF as korvel-init reads it: the GT field, which
// population each sample belongs to, and the contigs and tags records use
// without the header declaring them (read all the same, and said once).
#include <map>
#include <set>
#include <string>
#include <vector>

#include "text_lines.h"
#include "vcf_reader.h"

namespace korvel::init::vcf_file {

std::string NAME_LIST(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 5; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > 5) text += ", ...";
  return text;
}

std::string NAME_LIST(const std::set<std::string>& names) {
  return NAME_LIST(std::vector<std::string>(names.begin(), names.end()));
}

void Declared::take(const bcf_hdr_t* header) {
  contigs_ = header->n[BCF_DT_CTG];
  ids_ = header->n[BCF_DT_ID];
  kinds_.assign(static_cast<std::size_t>(ids_), 0);
  for (int id = 0; id < ids_; ++id) {
    if (header->id[BCF_DT_ID][id].val == nullptr) continue;
    for (int kind : {BCF_HL_FLT, BCF_HL_INFO, BCF_HL_FMT}) {
      if (bcf_hdr_idinfo_exists(header, kind, id)) kinds_[static_cast<std::size_t>(id)] |= BIT(kind);
    }
  }
}

// A header without a GT declaration still has genotypes when its records
// carry GT: declare it as the format defines it, and say so if used.
void VcfReader::declare_gt(bcf_hdr_t* header) {
  const int gt_id = bcf_hdr_id2int(header, BCF_DT_ID, "GT");
  if (gt_id >= 0 && bcf_hdr_idinfo_exists(header, BCF_HL_FMT, gt_id)) {
    if (bcf_hdr_id2type(header, BCF_HL_FMT, gt_id) != BCF_HT_STR) {
      throw InitError(path_ +
                      ": the header declares the GT field with a Type other than String, so htslib "
                      "cannot read the genotypes");
    }
    return;
  }
  gt_declared_ = false;
  if (bcf_hdr_append(header, "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">") != 0 ||
      bcf_hdr_sync(header) != 0) {
    throw InitError(path_ + ": the header declares no GT field and htslib cannot add it");
  }
}

// Every sample goes to its population, or is left out when a population
// map does not name it.
void VcfReader::assign_samples(const bcf_hdr_t* header) {
  samples_ = bcf_hdr_nsamples(header);
  if (samples_ == 0) throw InitError(path_ + ": the file has no samples, so there are no genotypes to count");
  data_.populations = VCF_POPULATIONS(options_.popmap);
  if (options_.popmap == nullptr) population_of_sample_.assign(static_cast<std::size_t>(samples_), 0);
  else map_samples(header);
  data_.individuals.assign(data_.populations.size(), 0);
  data_.genotyped.assign(data_.populations.size(), 0);
  for (int population : population_of_sample_) {
    if (population >= 0) ++data_.individuals[static_cast<std::size_t>(population)];
  }
  called_.assign(static_cast<std::size_t>(samples_), 0);
}

// A map naming a sample the file does not hold is refused: it usually
// means the map belongs to other data.
void VcfReader::map_samples(const bcf_hdr_t* header) {
  population_of_sample_.assign(static_cast<std::size_t>(samples_), -1);
  std::map<std::string, int> sample_index;
  for (int s = 0; s < samples_; ++s) sample_index[header->samples[s]] = s;
  for (const auto& [sample, population] : options_.popmap->population_of) {
    const auto found = sample_index.find(sample);
    if (found == sample_index.end()) {
      throw InitError(options_.popmap_name + " line " + std::to_string(options_.popmap->line_of.at(sample)) +
                      ": sample \"" + sample + "\" is not in " + path_);
    }
    population_of_sample_[static_cast<std::size_t>(found->second)] = static_cast<int>(population);
  }
  std::vector<std::string> unmapped;
  for (int s = 0; s < samples_; ++s) {
    if (population_of_sample_[static_cast<std::size_t>(s)] < 0) unmapped.push_back(header->samples[s]);
  }
  if (!unmapped.empty()) {
    data_.notes.push_back(std::to_string(unmapped.size()) + " sample" + (unmapped.size() == 1 ? "" : "s") +
                          " not in " + options_.popmap_name + " left out: " + NAME_LIST(unmapped));
  }
}

// htslib flags only the first record that names an undeclared contig or
// tag (it declares it then), so every record is checked against the
// header as the file gave it.
void VcfReader::note_undeclared(const bcf_hdr_t* header, bcf1_t* record) {
  if (!declared_.contig(record->rid)) {
    undeclared_contigs_.names.insert(bcf_hdr_id2name(header, record->rid));
    ++undeclared_contigs_.records;
  }
  if (declared_.all_tags(header)) return;
  const int gt_id = bcf_hdr_id2int(header, BCF_DT_ID, "GT");
  bool any = false;
  const auto check = [&](int kind, int id, const char* what) {
    if (declared_.tag(kind, id) || (kind == BCF_HL_FMT && id == gt_id)) return;
    undeclared_tags_.names.insert(std::string(what) + "/" + bcf_hdr_int2id(header, BCF_DT_ID, id));
    any = true;
  };
  for (int f = 0; f < record->d.n_flt; ++f) check(BCF_HL_FLT, record->d.flt[f], "FILTER");
  bcf_unpack(record, BCF_UN_INFO);
  for (int i = 0; i < record->n_info; ++i) check(BCF_HL_INFO, record->d.info[i].key, "INFO");
  bcf_unpack(record, BCF_UN_FMT);
  for (int i = 0; i < record->n_fmt; ++i) check(BCF_HL_FMT, record->d.fmt[i].id, "FORMAT");
  if (any) ++undeclared_tags_.records;
}

void VcfReader::note_declarations() {
  if (undeclared_contigs_.records > 0) {
    data_.notes.push_back(
        PLURAL(static_cast<long long>(undeclared_contigs_.names.size()), "contig", "contigs") +
        " not declared in the header, read all the same: " + NAME_LIST(undeclared_contigs_.names) + " (" +
        PLURAL(undeclared_contigs_.records, "record", "records") + ")");
  }
  if (undeclared_tags_.records > 0) {
    data_.notes.push_back(
        PLURAL(static_cast<long long>(undeclared_tags_.names.size()), "tag", "tags") +
        " not declared in the header, read all the same: " + NAME_LIST(undeclared_tags_.names) + " (" +
        PLURAL(undeclared_tags_.records, "record", "records") + ")");
  }
  if (!gt_declared_ && with_gt_ > 0) {
    data_.notes.push_back("the header does not declare the GT field; GT read as genotypes in " +
                          PLURAL(with_gt_, "record", "records"));
  }
}

}  // namespace korvel::init::vcf_file
