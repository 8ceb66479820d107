// korvel-init's VCF/BCF reader, one class whose parts live in files by job:
//  vcf_reader.cpp       the read: open, header, the loop over records, the end
//  vcf_records.cpp      one record at a time: text lines checked before htslib
//                       parses them, refusals that quote the record's own
//                       line, files that stop early
//  vcf_samples.cpp      the header: GT, samples and populations, names the
//                       header does not declare
//  vcf_genotypes.cpp    the gene copies of every call
//  htslib_messages.cpp  htslib's diagnostics, caught while a file is read
#pragma once

#include <htslib/hts.h>
#include <htslib/vcf.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "init.h"

namespace korvel::init::vcf_file {

struct HtsFileCloser {
  void operator()(htsFile* file) const { hts_close(file); }
};
using HtsFile = std::unique_ptr<htsFile, HtsFileCloser>;

HtsFile OPEN_HTS(const std::string& path);

// htslib writes its diagnostics to standard error. While a file is read
// they go to a scratch file instead, and come back as notes or as the
// detail of a refusal, rather than interleaving with the summary.
class HtslibMessages {
 public:
  HtslibMessages();
  ~HtslibMessages();
  HtslibMessages(const HtslibMessages&) = delete;
  HtslibMessages& operator=(const HtslibMessages&) = delete;

  // Reads what htslib wrote since the last call and empties the scratch
  // file, so that a message per record costs neither memory nor disk:
  // the first few distinct messages are kept, the others only counted.
  void collect();
  // htslib's latest message: the cause of a failure it reported.
  std::string last();
  // The distinct messages, the first `shown`, then how many others.
  std::vector<std::string> all(std::size_t shown);

 private:
  void restore();
  void keep(const std::string& line);

  static constexpr std::size_t KEPT = 10;
  std::FILE* scratch_ = nullptr;
  int saved_ = -1;
  std::vector<std::string> kept_;
  long long more_ = 0;  // messages past the kept ones (repeats of these not counted)
  std::string last_;
};

// The first few names, then "...".
std::string NAME_LIST(const std::vector<std::string>& names);
std::string NAME_LIST(const std::set<std::string>& names);

// The header's declarations as the file gave them, before htslib adds any
// it meets in the records.
class Declared {
 public:
  void take(const bcf_hdr_t* header);
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
  GenotypeData read();

 private:
  // ---- vcf_reader.cpp
  void open(htsFile* file);
  void take_record(const bcf_hdr_t* header, bcf1_t* record);
  void note_filters();
  void finish();

  // ---- vcf_records.cpp
  // Reads the next record; false at the end of the data, also at the end
  // of a file that stops early when --allow-truncated reads it. A record
  // that cannot be read is refused.
  bool next(htsFile* file, bcf_hdr_t* header, bcf1_t* record);
  bool next_line(htsFile* file, bcf_hdr_t* header, bcf1_t* record);
  std::string check_columns() const;
  bool ended(htsFile* file);
  bool failed(htsFile* file, const std::string& place, const std::string& cause);
  bool more_follows(htsFile* file);
  std::string stopped_early(htsFile* file) const;
  std::string text_place() const;
  std::string record_place(const bcf_hdr_t* header, const bcf1_t* record) const;
  std::string detail();

  // ---- vcf_samples.cpp
  void declare_gt(bcf_hdr_t* header);
  void assign_samples(const bcf_hdr_t* header);
  void map_samples(const bcf_hdr_t* header);
  void note_undeclared(const bcf_hdr_t* header, bcf1_t* record);
  void note_declarations();

  // ---- vcf_genotypes.cpp
  void count_record(const bcf_hdr_t* header, bcf1_t* record);
  template <typename Value>
  void count_calls(const bcf_hdr_t* header, const bcf1_t* record, const bcf_fmt_t& gt, int missing,
                   int vector_end);
  template <typename Value>
  static bool COUNT_DIPLOID(const std::uint8_t* values, long long* row, int alleles);
  void count_sample(std::size_t s, std::size_t copies, std::size_t length);
  void note_ploidy();

  const std::string& path_;
  const VcfOptions& options_;
  std::unique_ptr<HtslibMessages> messages_;
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
  // The text line of the record in hand, as the file holds it (htslib
  // parses its own copy in place), and its line number.
  std::string line_;
  long long line_number_ = 0;
  std::string cut_;  // how the file stopped early, when --allow-truncated read it
  int samples_ = 0;
  int gt_id_ = -1;
  long long records_ = 0;  // records begun, the one in hand included
  long long counted_ = 0;
  long long with_gt_ = 0;
  long long failed_filter_ = 0;
  long long no_filter_ = 0;
  bool text_ = false;      // VCF text, plain or compressed
  bool plain_ = false;     // VCF text, uncompressed
  bool unmarked_ = false;  // BGZF without its end-of-file marker
  bool gt_declared_ = true;
  bool haploid_ = false;
  bool diploid_ = false;
  bool other_ploidy_ = false;
};

}  // namespace korvel::init::vcf_file
