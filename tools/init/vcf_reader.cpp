// VCF and BCF, plain or compressed, read through htslib: the GT field of
// every record gives the gene copies of each allele (REF and every ALT are
// classes of their own) per population.
//
// Files are read as far as htslib reads them completely: a record that
// names a contig or a tag its header does not declare is read (htslib adds
// the declaration) and the summary says what was undeclared; anything
// htslib cannot parse, and a compressed file cut short, is refused with its
// cause and place.
#include <htslib/bgzf.h>
#include <htslib/hts.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>
#include <htslib/vcf.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "init.h"
#include "text_lines.h"

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
using HtsFile = std::unique_ptr<htsFile, HtsFileCloser>;

HtsFile OPEN_HTS(const std::string& path) {
  errno = 0;
  HtsFile file(hts_open(path.c_str(), "r"));
  if (!file) {
    throw InitError("cannot read " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
  }
  return file;
}

// htslib writes its diagnostics to standard error. While a file is read
// they go to a scratch file instead, and come back as notes or as the
// detail of a refusal, rather than interleaving with the summary.
class HtslibMessages {
 public:
  HtslibMessages() {
    std::fflush(stderr);
    scratch_ = std::tmpfile();
    saved_ = scratch_ != nullptr ? ::dup(STDERR_FILENO) : -1;
    if (saved_ >= 0 && ::dup2(::fileno(scratch_), STDERR_FILENO) < 0) {
      ::close(saved_);
      saved_ = -1;
    }
    hts_set_log_level(saved_ >= 0 ? HTS_LOG_WARNING : HTS_LOG_OFF);
  }
  ~HtslibMessages() {
    restore();
    if (scratch_ != nullptr) std::fclose(scratch_);
  }
  HtslibMessages(const HtslibMessages&) = delete;
  HtslibMessages& operator=(const HtslibMessages&) = delete;

  // Reads what htslib wrote since the last call and empties the scratch
  // file, so that a message per record costs neither memory nor disk:
  // the first few distinct messages are kept, the others only counted.
  void collect() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    const int descriptor = ::fileno(scratch_);
    const off_t end = ::lseek(descriptor, 0, SEEK_CUR);
    if (end <= 0) return;
    std::rewind(scratch_);
    char buffer[512];
    std::string line;
    while (std::fgets(buffer, sizeof buffer, scratch_) != nullptr) {
      line += buffer;
      if (line.back() != '\n' && !std::feof(scratch_)) continue;
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
      if (line.size() > 3 && line[0] == '[' && line.find("] ") != std::string::npos) {
        line.erase(0, line.find("] ") + 2);
      }
      if (!line.empty()) keep(line);
      line.clear();
    }
    std::rewind(scratch_);
    // Should emptying fail, the messages would be read again: harmless.
    [[maybe_unused]] const int emptied = ::ftruncate(descriptor, 0);
    ::lseek(descriptor, 0, SEEK_SET);
  }

  // htslib's latest message: the cause of a failure it reported.
  std::string last() {
    collect();
    return last_;
  }

  // The distinct messages, the first `shown`, then how many others.
  std::vector<std::string> all(std::size_t shown) {
    collect();
    std::vector<std::string> messages(
        kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(std::min(shown, kept_.size())));
    const long long others = more_ + static_cast<long long>(kept_.size() - messages.size());
    if (others > 0) messages.push_back("... and " + std::to_string(others) + " other htslib messages");
    return messages;
  }

 private:
  void restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
    hts_set_log_level(HTS_LOG_ERROR);
  }

  void keep(const std::string& line) {
    last_ = line;
    if (std::find(kept_.begin(), kept_.end(), line) != kept_.end()) return;
    if (kept_.size() < KEPT) kept_.push_back(line);
    else ++more_;
  }

  static constexpr std::size_t KEPT = 10;
  std::FILE* scratch_ = nullptr;
  int saved_ = -1;
  std::vector<std::string> kept_;
  long long more_ = 0;  // messages past the kept ones (repeats of these not counted)
  std::string last_;
};

std::string NAME_LIST(const std::vector<std::string>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < 5; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > 5) text += ", ...";
  return text;
}

std::string NAME_LIST(const std::set<std::string>& names) {
  return NAME_LIST(std::vector<std::string>(names.begin(), names.end()));
}

// What htslib's error flags on a record mean, in words.
std::string RECORD_FAULT(int errcode) {
  std::vector<std::string> causes;
  if (errcode & BCF_ERR_NCOLS) causes.push_back("its number of columns does not match the header's samples");
  if (errcode & BCF_ERR_LIMITS) causes.push_back("a value is beyond what htslib can hold");
  if (errcode & BCF_ERR_CHAR) causes.push_back("it holds a character not allowed there");
  if (errcode & BCF_ERR_CTG_INVALID) causes.push_back("its contig name is not valid");
  if (errcode & BCF_ERR_TAG_INVALID) causes.push_back("a tag or its value is not valid");
  std::string text;
  for (const std::string& cause : causes) text += (text.empty() ? "" : "; ") + cause;
  return text.empty() ? "htslib flags it as malformed (code " + std::to_string(errcode) + ")" : text;
}

constexpr int TOLERATED_FLAGS = BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF;

// The header's declarations as the file gave them, before htslib adds any
// it meets in the records.
class Declared {
 public:
  void take(const bcf_hdr_t* header) {
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
  bool contig(int rid) const { return rid < contigs_; }
  bool tag(int kind, int id) const {
    return id >= 0 && id < ids_ && (kinds_[static_cast<std::size_t>(id)] & BIT(kind));
  }
  // No tag has been added since: every record's tags are declared.
  bool all_tags(const bcf_hdr_t* header) const { return header->n[BCF_DT_ID] == ids_; }

 private:
  static unsigned char BIT(int kind) { return static_cast<unsigned char>(1u << kind); }
  int contigs_ = 0;
  int ids_ = 0;
  std::vector<unsigned char> kinds_;
};

// What records used without a declaration: the names, and in how many
// records.
struct Undeclared {
  std::set<std::string> names;
  long long records = 0;
};

class VcfReader {
 public:
  VcfReader(const std::string& path, const VcfOptions& options) : path_(path), options_(options) {}

  GenotypeData read() {
    HtslibMessages messages;
    HtsFile file = OPEN_HTS(path_);
    const htsFormat* format = hts_get_format(file.get());
    if (format->format != vcf && format->format != bcf) {
      throw InitError(path_ + " is not a VCF or BCF file");
    }
    text_ = format->format == vcf && format->compression == no_compression;
    data_.source = path_;
    data_.format = format->format == bcf                   ? "BCF"
                   : format->compression == bgzf           ? "bgzipped VCF"
                   : format->compression == no_compression ? "VCF"
                                                           : "compressed VCF";
    const bool unmarked = format->compression == bgzf && bgzf_check_EOF(hts_get_bgzfp(file.get())) == 0;
    if (unmarked && !options_.allow_truncated) {
      throw InitError(path_ + " looks truncated: it is " + data_.format +
                      " without the end-of-file marker a complete file ends with (a writer stopped "
                      "half-way?); --allow-truncated reads what is there");
    }
    std::unique_ptr<bcf_hdr_t, HeaderFreer> header(bcf_hdr_read(file.get()));
    if (!header) throw InitError(path_ + ": the VCF header cannot be read" + DETAIL(messages));
    assign_samples(header.get());
    declared_.take(header.get());
    declare_gt(header.get());
    gt_id_ = bcf_hdr_id2int(header.get(), BCF_DT_ID, "GT");

    std::unique_ptr<bcf1_t, RecordFreer> record(bcf_init());
    int status = 0;
    while ((status = bcf_read(file.get(), header.get(), record.get())) == 0) {
      ++records_;
      if (records_ % 65536 == 0) messages.collect();
      if ((record->errcode & ~TOLERATED_FLAGS) != 0) {
        throw InitError(where(header.get(), record.get()) + ": " + RECORD_FAULT(record->errcode) +
                        DETAIL(messages));
      }
      if (bcf_unpack(record.get(), BCF_UN_STR | BCF_UN_FLT) != 0) {
        throw InitError(where(header.get(), record.get()) + ": htslib cannot unpack it" + DETAIL(messages));
      }
      note_undeclared(header.get(), record.get());
      locus_name(header.get(), record.get(), previous_);
      if (options_.pass_only && !passes(record.get())) continue;
      count_record(header.get(), record.get());
    }
    if (status < -1) {
      if (!(unmarked && options_.allow_truncated)) {
        throw InitError(path_ + " record " + std::to_string(records_ + 1) + " (after " +
                        (records_ == 0 ? std::string("the header") : previous_) + ")" +
                        line_text(file.get()) + ": " +
                        (text_ ? "it does not parse (cut short, or malformed)"
                               : "the data cannot be read (truncated or corrupt)") +
                        DETAIL(messages));
      }
    }
    if (unmarked) {
      data_.notes.push_back("--allow-truncated: " + PLURAL(records_, "record", "records") +
                            " read from a file without its end-of-file marker; whatever followed is lost");
    }
    finish(messages);
    return std::move(data_);
  }

 private:
  std::string where(const bcf_hdr_t* header, const bcf1_t* record) const {
    std::string place = path_ + " record " + std::to_string(records_);
    if (record->rid < 0 || record->rid >= header->n[BCF_DT_CTG]) return place;
    place += " (" + std::string(bcf_hdr_id2name(header, record->rid)) + ":" + std::to_string(record->pos + 1);
    const char* id = record->d.id;
    if ((record->unpacked & BCF_UN_STR) && id != nullptr && *id != '\0' && std::strcmp(id, ".") != 0) {
      place += std::string(" ") + id;
    }
    return place + ")";
  }

  // The line of a plain-text VCF that failed, as read.
  std::string line_text(htsFile* file) const {
    if (!text_) return "";
    std::string line(file->line.s != nullptr ? file->line.s : "", file->line.s != nullptr ? file->line.l : 0);
    for (char& c : line) {
      if (c == '\0') c = '\t';  // the parser splits the line in place
    }
    if (line.size() > 80) line = line.substr(0, 77) + "...";
    return ", line " + std::to_string(file->lineno) + " \"" + line + "\"";
  }

  static std::string DETAIL(HtslibMessages& messages) {
    const std::string detail = messages.last();
    return detail.empty() ? "" : " (htslib: " + detail + ")";
  }

  // A header without a GT declaration still has genotypes when its records
  // carry GT: declare it as the format defines it, and say so if used.
  void declare_gt(bcf_hdr_t* header) {
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
  // map does not name it. A map naming a sample the file does not hold is
  // refused: it usually means the map belongs to other data.
  void assign_samples(const bcf_hdr_t* header) {
    const int samples = bcf_hdr_nsamples(header);
    if (samples == 0)
      throw InitError(path_ + ": the file has no samples, so there are no genotypes to count");
    population_of_sample_.assign(static_cast<std::size_t>(samples), -1);
    data_.populations = VCF_POPULATIONS(options_.popmap);
    if (options_.popmap == nullptr) {
      population_of_sample_.assign(static_cast<std::size_t>(samples), 0);
    } else {
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
    called_.assign(static_cast<std::size_t>(samples), 0);
  }

  // htslib flags only the first record that names an undeclared contig or
  // tag (it declares it then), so every record is checked against the
  // header as the file gave it.
  void note_undeclared(const bcf_hdr_t* header, bcf1_t* record) {
    if (!declared_.contig(record->rid)) {
      undeclared_contigs_.names.insert(bcf_hdr_id2name(header, record->rid));
      ++undeclared_contigs_.records;
    }
    if (declared_.all_tags(header)) return;
    bool any = false;
    const auto check = [&](int kind, int id, const char* what) {
      if (declared_.tag(kind, id) || (kind == BCF_HL_FMT && id == gt_id(header))) return;
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

  static int gt_id(const bcf_hdr_t* header) { return bcf_hdr_id2int(header, BCF_DT_ID, "GT"); }

  // FILTER PASS alone; "." (no filter applied) is not a pass.
  bool passes(const bcf1_t* record) {
    if (record->d.n_flt == 0) {
      ++no_filter_;
      return false;
    }
    if (record->d.n_flt == 1 && record->d.flt[0] == 0) return true;  // PASS is always id 0
    ++failed_filter_;
    return false;
  }

  void locus_name(const bcf_hdr_t* header, const bcf1_t* record, std::string& name) const {
    const char* id = record->d.id;
    if (id != nullptr && std::strcmp(id, ".") != 0 && *id != '\0') {
      name.assign(id);
      return;
    }
    name.assign(bcf_hdr_id2name(header, record->rid));
    name += ':';
    name += std::to_string(record->pos + 1);
  }

  // Counts into one reused locus, so that reading allocates nothing per
  // record once the buffers have grown.
  void count_record(const bcf_hdr_t* header, bcf1_t* record) {
    ++counted_;
    const std::size_t alleles = record->n_allele;
    const std::size_t populations = data_.populations.size();
    tally_.assign(populations * (alleles + 1), 0);
    locus_.missing.assign(populations, 0);
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
          throw InitError(where(header, record) + ": the GT field is not stored as whole numbers");
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
  void count_calls(const bcf_hdr_t* header, const bcf1_t* record, const bcf_fmt_t& gt, int missing,
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
          throw InitError(where(header, record) + ", sample " + header->samples[s] +
                          ": the genotype names allele " + std::to_string(allele) +
                          " but the record has only " + std::to_string(alleles) + " (REF and ALT)");
        }
        ++tally_[pop * (alleles + 1) + static_cast<std::size_t>(allele)];
        ++copies;
      }
      if (copies == 0) {
        ++locus_.missing[pop];
      } else {
        called_[s] = 1;
        if (length == 1) haploid_ = true;
        else if (length == 2) diploid_ = true;
        else other_ploidy_ = true;
      }
    }
  }

  // The common call, two copies each an allele or missing ("1/."), counted
  // without a branch per copy that random genotypes would mispredict.
  // Returns false for anything else ("./.", a shorter call, a value out of
  // range), which the general loop counts or refuses. `row` is the
  // population's row of the tally, whose slot `alleles` takes a missing copy.
  template <typename Value>
  static bool COUNT_DIPLOID(const std::uint8_t* values, long long* row, int alleles) {
    Value pair[2];
    std::memcpy(pair, values, sizeof pair);
    const int first = pair[0] >> 1;  // allele + 1, or 0 for a missing copy
    const int second = pair[1] >> 1;
    if (first < 0 || second < 0 || first > alleles || second > alleles || (first | second) == 0) return false;
    ++row[first == 0 ? alleles : first - 1];
    ++row[second == 0 ? alleles : second - 1];
    return true;
  }

  void note_filters() {
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

  void finish(HtslibMessages& messages) {
    for (std::size_t s = 0; s < called_.size(); ++s) {
      if (called_[s]) ++data_.genotyped[static_cast<std::size_t>(population_of_sample_[s])];
    }
    const int kinds = int(haploid_) + int(diploid_) + int(other_ploidy_);
    data_.ploidy = kinds > 1       ? "mixed ploidy"
                   : haploid_      ? "haploid"
                   : other_ploidy_ ? "polyploid"
                                   : "diploid";
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
    for (const std::string& message : messages.all(10)) data_.notes.push_back("htslib: " + message);
    note_filters();
    if (records_ == 0) throw InitError(path_ + ": no records, so there are no loci");
    if (with_gt_ == 0) {
      throw InitError(path_ +
                      ": no record carries a GT (genotype) field, so there are no genotypes to count");
    }
  }

  const std::string& path_;
  const VcfOptions& options_;
  GenotypeData data_;
  Declared declared_;
  Undeclared undeclared_contigs_;
  Undeclared undeclared_tags_;
  LocusCounts locus_;
  std::string previous_ = "the header";
  std::vector<int> population_of_sample_;  // -1: left out
  std::vector<char> called_;               // sample has a call at some record
  // Gene copies of the record being counted, [population * (alleles + 1) +
  // allele]; the last slot of each population's row is a scratch slot.
  std::vector<long long> tally_;
  int gt_id_ = -1;
  long long records_ = 0;
  long long counted_ = 0;
  long long with_gt_ = 0;
  long long failed_filter_ = 0;
  long long no_filter_ = 0;
  bool text_ = false;
  bool gt_declared_ = true;
  bool haploid_ = false;
  bool diploid_ = false;
  bool other_ploidy_ = false;
};

}  // namespace

std::vector<std::string> VCF_POPULATIONS(const PopulationMap* popmap) {
  return popmap != nullptr ? popmap->populations : std::vector<std::string>{"all samples"};
}

GenotypeData READ_VCF(const std::string& path, const VcfOptions& options) {
  return VcfReader(path, options).read();
}

DataFormat DETECT_FORMAT(const std::string& path) {
  // htslib's own warnings on opening (a missing end marker, say) come again
  // when the file is read, where they are caught.
  hts_set_log_level(HTS_LOG_OFF);
  HtsFile file;
  try {
    file = OPEN_HTS(path);
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
