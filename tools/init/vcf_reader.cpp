// VCF and BCF, plain or compressed, read through htslib: the GT field of
// every record gives the gene copies of each allele (REF and every ALT are
// classes of their own) per population.
//
// Files are read as far as htslib reads them completely: a record that
// names a contig or a tag its header does not declare is read (htslib adds
// the declaration) and the summary says what was undeclared; a record that
// cannot be read, and a file cut short, are refused with their cause and
// place (vcf_records.cpp).
#include "vcf_reader.h"

#include <htslib/bgzf.h>
#include <htslib/tbx.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text_lines.h"

namespace korvel::init {

namespace vcf_file {

namespace {

struct HeaderFreer {
  void operator()(bcf_hdr_t* header) const { bcf_hdr_destroy(header); }
};
struct RecordFreer {
  void operator()(bcf1_t* record) const { bcf_destroy(record); }
};

}  // namespace

GenotypeData VcfReader::read() {
  messages_ = std::make_unique<HtslibMessages>();
  HtsFile file = OPEN_HTS(path_);
  open(file.get());
  std::unique_ptr<bcf_hdr_t, HeaderFreer> header(bcf_hdr_read(file.get()));
  if (!header) throw InitError(path_ + ": the VCF header cannot be read" + detail());
  assign_samples(header.get());
  declared_.take(header.get());
  declare_gt(header.get());
  gt_id_ = bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT");
  std::unique_ptr<bcf1_t, RecordFreer> record(bcf_init());
  while (next(file.get(), header.get(), record.get())) {
    if (records_ % 65536 == 0) messages_->collect();
    take_record(header.get(), record.get());
  }
  if (!cut_.empty()) {
    data_.notes.push_back("--allow-truncated: " + PLURAL(records_, "record", "records") +
                          " read from a file " + cut_ + "; whatever followed is lost");
  }
  finish();
  return std::move(data_);
}

// The kind of file, and a compressed file without its end-of-file marker
// refused before anything is read unless --allow-truncated says to read it.
void VcfReader::open(htsFile* file) {
  const htsFormat* format = hts_get_format(file);
  if (format->format != vcf && format->format != bcf) throw InitError(path_ + " is not a VCF or BCF file");
  text_ = format->format == vcf;
  plain_ = text_ && format->compression == no_compression;
  data_.source = path_;
  data_.format = format->format == bcf                   ? "BCF"
                 : format->compression == bgzf           ? "bgzipped VCF"
                 : format->compression == no_compression ? "VCF"
                                                         : "compressed VCF";
  unmarked_ = format->compression == bgzf && bgzf_check_EOF(hts_get_bgzfp(file)) == 0;
  if (unmarked_ && !options_.allow_truncated) {
    throw InitError(path_ + " looks truncated: it is " + data_.format +
                    " without the end-of-file marker a complete file ends with (a writer stopped "
                    "half-way?); --allow-truncated reads what is there");
  }
}

void VcfReader::take_record(const bcf_hdr_t* header, bcf1_t* record) {
  if (bcf_unpack(record, BCF_UN_STR | BCF_UN_FLT) != 0) {
    throw InitError(record_place(header, record) + ": htslib cannot unpack it" + detail());
  }
  note_undeclared(header, record);
  const char* id = record->d.id;
  if (id != nullptr && *id != '\0' && std::string_view(id) != ".") {
    previous_.assign(id);
  } else {
    previous_.assign(bcf_hdr_id2name(header, record->rid));
    previous_ += ':';
    previous_ += std::to_string(record->pos + 1);
  }
  if (options_.pass_only) {
    // FILTER PASS alone; "." (no filter applied) is not a pass. PASS is
    // always filter id 0.
    if (record->d.n_flt == 0) {
      ++no_filter_;
      return;
    }
    if (record->d.n_flt != 1 || record->d.flt[0] != 0) {
      ++failed_filter_;
      return;
    }
  }
  count_record(header, record);
}

void VcfReader::note_filters() {
  if (!options_.pass_only) return;
  if (failed_filter_ + no_filter_ > 0) {
    std::string reasons;
    if (failed_filter_ > 0) reasons = std::to_string(failed_filter_) + " failed a filter";
    if (no_filter_ > 0) {
      reasons += (reasons.empty() ? "" : ", ") + std::to_string(no_filter_) + " had no filter applied (.)";
    }
    data_.notes.push_back(
        "--pass-only: " + PLURAL(counted_, "record", "records") + " with FILTER PASS kept, " +
        PLURAL(failed_filter_ + no_filter_, "record", "records") + " left out (" + reasons + ")");
  }
  if (counted_ == 0 && records_ > 0) {
    throw InitError(path_ + ": no record has FILTER PASS (of " + PLURAL(records_, "record", "records") +
                    ", " + std::to_string(failed_filter_) + " failed a filter and " +
                    std::to_string(no_filter_) +
                    " had no filter applied, \".\"), so --pass-only leaves no loci");
  }
}

void VcfReader::finish() {
  note_ploidy();
  note_declarations();
  for (const std::string& message : messages_->all(10)) data_.notes.push_back("htslib: " + message);
  note_filters();
  if (records_ == 0) throw InitError(path_ + ": no records, so there are no loci");
  if (with_gt_ == 0) {
    throw InitError(path_ + ": no record carries a GT (genotype) field, so there are no genotypes to count");
  }
}

}  // namespace vcf_file

std::vector<std::string> VCF_POPULATIONS(const PopulationMap* popmap) {
  return popmap != nullptr ? popmap->populations : std::vector<std::string>{"all samples"};
}

GenotypeData READ_VCF(const std::string& path, const VcfOptions& options) {
  return vcf_file::VcfReader(path, options).read();
}

DataFormat DETECT_FORMAT(const std::string& path) {
  // htslib's own warnings on opening (a missing end marker, say) come again
  // when the file is read, where they are caught.
  hts_set_log_level(HTS_LOG_OFF);
  vcf_file::HtsFile file;
  try {
    file = vcf_file::OPEN_HTS(path);
  } catch (...) {
    hts_set_log_level(HTS_LOG_ERROR);
    throw;
  }
  hts_set_log_level(HTS_LOG_ERROR);
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
