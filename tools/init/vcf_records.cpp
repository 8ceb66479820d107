// One VCF/BCF record at a time, and what happens when one cannot be read.
//
// A text line is kept as the file holds it before htslib parses it (htslib
// splits its copy in place), checked for what htslib lets through (a POS
// that is not a number, more or fewer columns than the header's samples),
// then parsed. A record that cannot be read is refused with its number,
// CHROM:POS and, in a text file, its line. The one exception is the end of
// a file that stops early (compressed data cut short, a compressed file
// without its end-of-file marker, a plain file whose last line has no line
// end): a failure there, with nothing after it, is where the file was cut,
// and --allow-truncated reads the records before it. A failure with
// anything after it is a malformed record, refused even then.
#include <htslib/bgzf.h>
#include <htslib/kseq.h>
#include <htslib/kstring.h>
#include <htslib/tbx.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "text_lines.h"
#include "vcf_reader.h"

namespace korvel::init::vcf_file {

namespace {

constexpr int TOLERATED_FLAGS = BCF_ERR_CTG_UNDEF | BCF_ERR_TAG_UNDEF;
constexpr std::size_t QUOTED_LENGTH = 80;

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

bool ENDS_WITH_LINE_END(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return true;
  const bool ends = std::fseek(file, -1, SEEK_END) != 0 || std::fgetc(file) == '\n';
  std::fclose(file);
  return ends;
}

}  // namespace

bool VcfReader::next(htsFile* file, bcf_hdr_t* header, bcf1_t* record) {
  if (text_) return next_line(file, header, record);
  const int status = bcf_read(file, header, record);
  if (status == -1) return ended(file);
  ++records_;
  if (status == 0 && (record->errcode & ~TOLERATED_FLAGS) == 0) return true;
  // Without an error flag the record itself was not read: its fields are
  // the previous record's.
  if (record->errcode == 0) {
    return failed(file, path_ + " record " + std::to_string(records_) + " (after " + previous_ + ")",
                  "the data cannot be read (truncated or corrupt)" + detail());
  }
  return failed(file, record_place(header, record), RECORD_FAULT(record->errcode) + detail());
}

bool VcfReader::next_line(htsFile* file, bcf_hdr_t* header, bcf1_t* record) {
  const int got = hts_getline(file, KS_SEP_LINE, &file->line);
  if (got == -1) return ended(file);
  ++records_;
  line_number_ = file->lineno;
  if (got < -1) {
    line_.clear();
    return failed(file, text_place(), "the compressed data cannot be read" + detail());
  }
  // Blank lines after the last record, as hand editing leaves them, end
  // the data; anywhere else a blank line is refused.
  if (got == 0 && !more_follows(file)) {
    --records_;
    return ended(file);
  }
  line_.assign(file->line.s, file->line.l);
  std::string cause = check_columns();
  if (cause.empty()) {
    if (vcf_parse(&file->line, header, record) != 0) {
      cause = (record->errcode & ~TOLERATED_FLAGS) != 0 ? RECORD_FAULT(record->errcode)
                                                        : "htslib cannot parse it";
      cause += detail();
    } else if ((record->errcode & ~TOLERATED_FLAGS) != 0) {
      cause = RECORD_FAULT(record->errcode) + detail();
    }
  }
  return cause.empty() || failed(file, text_place(), cause);
}

// What htslib reads without complaint but is not a record: a line with
// more or fewer columns than the #CHROM line (htslib drops extra samples
// and reads a short line as a site without genotypes) and a POS that is
// not a whole number (htslib reads it as 0).
std::string VcfReader::check_columns() const {
  if (line_.empty()) return "the line is empty";
  const auto columns = static_cast<long long>(std::count(line_.begin(), line_.end(), '\t')) + 1;
  const long long wanted = 9 + samples_;
  if (columns != wanted) {
    return "it has " + std::to_string(columns) + " columns where the header's #CHROM line has " +
           std::to_string(wanted) + " (9 and " + PLURAL(samples_, "sample", "samples") + ")";
  }
  const std::size_t start = line_.find('\t') + 1;
  const std::string pos = line_.substr(start, line_.find('\t', start) - start);
  if (pos.empty() || !std::all_of(pos.begin(), pos.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return "its POS \"" + pos + "\" is not a whole number";
  }
  return "";
}

// The end of the data. A compressed file can end here and still be cut:
// its compressed data broke off, or it lacks the end-of-file marker.
bool VcfReader::ended(htsFile* file) {
  line_.clear();  // the last line was read whole: no line end needed after it
  const BGZF* bgzf = hts_get_bgzfp(file);
  if (bgzf != nullptr && bgzf->errcode != 0 && (bgzf->errcode & BGZF_ERR_IO) == 0) {
    throw InitError(path_ + " after record " + std::to_string(records_) + " (" + previous_ +
                    "): the compressed data is corrupt" + detail());
  }
  const std::string early = stopped_early(file);
  if (early.empty()) return false;
  if (!options_.allow_truncated) {
    throw InitError(path_ + " after record " + std::to_string(records_) + " (" + previous_ + "): a file " +
                    early + " (a writer stopped half-way?); --allow-truncated reads the " +
                    PLURAL(records_, "record", "records") + " there");
  }
  cut_ = early;
  return false;
}

// A record that cannot be read: the end of a cut file, or malformed.
bool VcfReader::failed(htsFile* file, const std::string& place, const std::string& cause) {
  const std::string early = more_follows(file) ? "" : stopped_early(file);
  if (early.empty()) throw InitError(place + ": " + cause);
  const long long before = records_ - 1;
  if (!options_.allow_truncated) {
    throw InitError(place + ": " + cause + "; it is the last record of a file " + early +
                    " (a writer stopped half-way?); --allow-truncated reads the " +
                    PLURAL(before, "record", "records") + " before it");
  }
  records_ = before;
  cut_ = early;
  return false;
}

// Whether anything follows the record that failed: another line of a text
// file that is not blank, another byte of a BCF.
bool VcfReader::more_follows(htsFile* file) {
  if (text_) {
    kstring_t rest = {0, 0, nullptr};
    int got = 0;
    while ((got = hts_getline(file, KS_SEP_LINE, &rest)) == 0) {
    }
    std::free(rest.s);
    return got > 0;
  }
  BGZF* bgzf = hts_get_bgzfp(file);
  char byte = 0;
  return bgzf != nullptr && bgzf_read(bgzf, &byte, 1) == 1;
}

// How the file shows that it stops early, as "a file ..." goes on; empty
// when it looks complete.
std::string VcfReader::stopped_early(htsFile* file) const {
  const BGZF* bgzf = hts_get_bgzfp(file);
  if (bgzf != nullptr && (bgzf->errcode & BGZF_ERR_IO) != 0) return "whose compressed data breaks off";
  if (unmarked_) return "without its end-of-file marker";
  if (plain_ && !line_.empty() && !ENDS_WITH_LINE_END(path_)) return "whose last line has no line end";
  return "";
}

// "FILE record N (CHROM:POS), line L "..."" with the line as the file
// holds it (cut after 80 characters).
std::string VcfReader::text_place() const {
  std::string place = path_ + " record " + std::to_string(records_);
  const std::size_t tab = line_.find('\t');
  if (tab == std::string::npos) {
    place += " (after " + previous_ + ")";
  } else {
    const std::size_t end = line_.find('\t', tab + 1);
    place += " (" + line_.substr(0, tab) + ":" +
             line_.substr(tab + 1, end == std::string::npos ? std::string::npos : end - tab - 1) + ")";
  }
  if (line_.empty()) return place;
  const std::string quoted = line_.size() > QUOTED_LENGTH ? line_.substr(0, QUOTED_LENGTH - 3) + "..."
                                                          : line_;
  return place + ", line " + std::to_string(line_number_) + " \"" + quoted + "\"";
}

std::string VcfReader::record_place(const bcf_hdr_t* header, const bcf1_t* record) const {
  if (text_) return text_place();
  std::string place = path_ + " record " + std::to_string(records_);
  if (record->rid < 0 || record->rid >= header->n[BCF_DT_CTG]) return place;
  place += " (" + std::string(bcf_hdr_id2name(header, record->rid)) + ":" + std::to_string(record->pos + 1);
  const char* id = record->d.id;
  if ((record->unpacked & BCF_UN_STR) && id != nullptr && *id != '\0' && std::string(id) != ".") {
    place += std::string(" ") + id;
  }
  return place + ")";
}

std::string VcfReader::detail() {
  const std::string last = messages_->last();
  return last.empty() ? "" : " (htslib: " + last + ")";
}

}  // namespace korvel::init::vcf_file
