// KORVEL.IN as a document: the one reader, checker and writer of the input
// file, shared by the simulation programs (READ_INFILE) and the tools
// (korvel-init, korvel-sweep). It does not depend on the build's capacity:
// the caller names the profile to check against (capacity_profiles.h).
//
// Reading. READ_INPUT_TEXT / READ_INPUT_FILE read the file with the
// program's rules (text_input.h) and check it in the program's order:
//   numbers as they are read (invalid number: runtime error 106; beyond the
//   range of its type; the file ends), the number of loci against the
//   capacity right after it is read, then the number of populations, then
//   after all locus lines the alleles per locus, then the frequency sums
//   (first failing locus), then the values the simulation cannot use.
// The first fault is thrown as INPUT_FAULT (input_fault.h) carrying exactly
// the console text and exit status of the program, a one-line SUMMARY()
// for tools, and NOTES naming the likely cause (standard error).
//
// Positions. Every value read has a TOKEN_SPAN (byte offset and length in
// TEXT, 1-based line), so a tool can rewrite values in place and keep every
// other byte (REPLACE_TOKENS). A comment's span is its whole line without
// the line end; a locus's span runs from its allele-count token to the end
// of the line of its last frequency, line end included (what the program
// skips), so TEXT.substr(0, LOCI[k-1].SPAN.END()) ends after locus k.
//
// Writing. WRITE_INPUT_TEXT lays out a document as a clean KORVEL.IN (CR LF
// line ends, a label after the values of each setting, one line per locus)
// whose frequencies read back as exactly the same doubles.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/capacity_profiles.h"
#include "common/input_fault.h"
#include "common/number_types.h"
#include "input/shared_names.h"

namespace korvel {

inline constexpr std::size_t COMMENT_LENGTH = 80;  // characters of a comment line kept

struct TOKEN_SPAN {
  std::size_t OFFSET = 0;
  std::size_t LENGTH = 0;
  int LINE = 0;  // 1-based
  std::size_t END() const { return OFFSET + LENGTH; }
};

struct LOCUS_DOCUMENT {
  INT16 ALLELES = 0;                // as declared
  std::vector<double> FREQUENCIES;  // in allele order, ALLELES of them once read
  TOKEN_SPAN SPAN;                  // LINE: the allele count's line
  int LAST_LINE = 0;                // line of the last frequency
  int FREQUENCIES_ON_FIRST_LINE = 0;
};

// The values of KORVEL.IN in file order. Vectors are 0-based: SAMPLESIZE[0]
// is population 1's sample size, LOCI[0] is locus 1.
struct INPUT_DOCUMENT {
  std::string NAME;  // file name used in messages
  std::string TEXT;  // the bytes read (empty for a document built in memory)

  std::string COMMENT1, COMMENT2;         // at most COMMENT_LENGTH characters each
  INT32 ITER1 = 0, ITER2 = 0, ITER3 = 0;  // dememorization steps, batches, steps per batch
  INT16 RUN_CHI2 = 0, RUN_FISHER = 0;     // 1 = on
  INT16 ERASE_DETAILED_OUTPUT = 0;        // 1 = delete the detailed files
  INT16 NUMBLOCI = 0, NUMBPOPS = 0;
  INT16 DRIFT_SIZE = 0, STOP_T = 0;
  std::vector<INT16> SAMPLESIZE;
  INT32 STOP_RUNS = 0;
  std::vector<LOCUS_DOCUMENT> LOCI;

  struct POSITIONS {
    TOKEN_SPAN COMMENT1, COMMENT2;
    TOKEN_SPAN ITER1, ITER2, ITER3, RUN_CHI2, RUN_FISHER, ERASE_DETAILED_OUTPUT;
    TOKEN_SPAN NUMBLOCI, NUMBPOPS, DRIFT_SIZE, STOP_T, STOP_RUNS;
    std::vector<TOKEN_SPAN> SAMPLESIZE;
  } AT;
};

// Reads and checks `text` (named `name` in messages) against `capacity`.
INPUT_DOCUMENT READ_INPUT_TEXT(std::string_view name, std::string text, const CAPACITY_PROFILE& capacity);
// The same for a file; with any_letter_case a file whose name differs only
// in letter case is found (the program's way of finding KORVEL.IN).
INPUT_DOCUMENT READ_INPUT_FILE(const std::string& path, const CAPACITY_PROFILE& capacity,
                               bool any_letter_case = false);

// The frequency-sum check of the program: the running sum kept in double,
// each addition made in extended precision; it passes when it differs from
// 1 by at most FREQUENCY_SUM_TOLERANCE.
inline constexpr EXTENDED FREQUENCY_SUM_TOLERANCE = 0.000001L;
double FREQUENCY_SUM(const std::vector<double>& frequencies);
bool FREQUENCY_SUM_PASSES(double sum);

// A clean KORVEL.IN for the document (its TEXT and positions are not used).
// The counts written are those of the vectors; a document whose NUMBLOCI,
// NUMBPOPS or ALLELES disagree with its vectors is refused
// (std::invalid_argument). Comments are cut to COMMENT_LENGTH bytes (not
// inside a UTF-8 character) and control characters become blanks.
std::string WRITE_INPUT_TEXT(const INPUT_DOCUMENT& document);

// `text` with each span replaced by its text; every other byte is kept.
// Spans must lie within the text and not overlap (std::invalid_argument).
struct TOKEN_REPLACEMENT {
  TOKEN_SPAN SPAN;
  std::string TEXT;
};
std::string REPLACE_TOKENS(std::string_view text, std::vector<TOKEN_REPLACEMENT> replacements);

}  // namespace korvel
