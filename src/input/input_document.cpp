#include "input/input_document.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

#include "common/failure.h"
#include "common/text_format.h"
#include "common/text_input.h"

namespace korvel {

namespace {

std::string NUMBER_TEXT(double value, const char* format) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string PLURAL(long long count, const std::string& one, const std::string& many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Splits one line of the text into its tokens, with the reader's separators.
std::vector<std::string_view> LINE_TOKENS(std::string_view text, int line) {
  std::size_t begin = 0;
  for (int l = 1; l < line; ++l) {
    begin = text.find('\n', begin);
    if (begin == std::string_view::npos) return {};
    ++begin;
  }
  std::size_t end = text.find('\n', begin);
  if (end == std::string_view::npos) end = text.size();
  std::vector<std::string_view> tokens;
  std::size_t i = begin;
  while (i < end) {
    while (i < end && static_cast<unsigned char>(text[i]) <= 32) ++i;
    const std::size_t start = i;
    while (i<end&& static_cast<unsigned char>(text[i])> 32) ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  return tokens;
}

// A line that reads as a locus line of its own: an allele count n >= 1
// followed by at least n reals.
bool LOOKS_LIKE_A_LOCUS_LINE(std::string_view text, int line) {
  const auto tokens = LINE_TOKENS(text, line);
  long long alleles = 0;
  if (tokens.empty() || !PARSE_INTEGER_TOKEN(tokens[0], alleles) || alleles < 1) return false;
  if (static_cast<long long>(tokens.size()) < alleles + 1) return false;
  for (long long a = 1; a <= alleles; ++a) {
    double ignored = 0;
    if (!PARSE_REAL_TOKEN(tokens[static_cast<std::size_t>(a)], ignored)) return false;
  }
  return true;
}

class DocumentReader {
 public:
  DocumentReader(std::string_view name, std::string text, const CAPACITY_PROFILE& capacity)
      : capacity_(capacity) {
    in_.THROW_FAULTS(true);
    in_.OPEN_TEXT(name, std::move(text));
    document_.NAME = std::string(name);
  }

  INPUT_DOCUMENT READ() {
    try {
      READ_RUN_SETTINGS();
      READ_POPULATION_SETTINGS();
      READ_BASE_POPULATION();
      CHECK_ALLELE_COUNTS();
      CHECK_FREQUENCY_SUMS();
      CHECK_USABLE_VALUES();
    } catch (INPUT_FAULT& fault) {
      ADD_RUN_ON_NOTE(fault);
      throw;
    }
    document_.TEXT = in_.TEXT();
    return std::move(document_);
  }

 private:
  TOKEN_SPAN LAST() const { return {in_.LAST_OFFSET(), in_.LAST_LENGTH(), in_.LAST_LINE()}; }

  INT16 READ_INT16(std::string_view quantity, TOKEN_SPAN& at) {
    const INT16 value = in_.READ_INT16(quantity);
    at = LAST();
    return value;
  }

  INT32 READ_INT32(std::string_view quantity, TOKEN_SPAN& at) {
    const INT32 value = in_.READ_INT32(quantity);
    at = LAST();
    return value;
  }

  std::string READ_COMMENT(TOKEN_SPAN& at) {
    const std::string& text = in_.TEXT();
    at.OFFSET = in_.POSITION();
    at.LINE = in_.CURRENT_LINE();
    std::size_t end = std::min(text.find('\n', at.OFFSET), text.size());
    if (end > at.OFFSET && text[end - 1] == '\r') --end;
    at.LENGTH = end - at.OFFSET;
    return in_.READ_LINE_TEXT(COMMENT_LENGTH);
  }

  void READ_RUN_SETTINGS() {
    auto& d = document_;
    d.COMMENT1 = READ_COMMENT(d.AT.COMMENT1);
    d.COMMENT2 = READ_COMMENT(d.AT.COMMENT2);
    d.ITER1 = READ_INT32("the first iteration factor (dememorization steps)", d.AT.ITER1);
    d.ITER2 = READ_INT32("the second iteration factor (batches)", d.AT.ITER2);
    d.ITER3 = READ_INT32("the third iteration factor (steps per batch)", d.AT.ITER3);
    in_.SKIP_LINE();
    d.RUN_CHI2 = READ_INT16("the chi-square test switch", d.AT.RUN_CHI2);
    d.RUN_FISHER = READ_INT16("the exact test switch", d.AT.RUN_FISHER);
    in_.SKIP_LINE();
    d.ERASE_DETAILED_OUTPUT = READ_INT16("the erase switch", d.AT.ERASE_DETAILED_OUTPUT);
    in_.SKIP_LINE();
    in_.SKIP_LINE();
  }

  // The capacity checks of the counts come right after each count is read,
  // before anything later in the file is looked at.
  void READ_POPULATION_SETTINGS() {
    auto& d = document_;
    d.NUMBLOCI = READ_INT16("the number of loci", d.AT.NUMBLOCI);
    in_.SKIP_LINE();
    if (d.NUMBLOCI > capacity_.MAX_LOCI)
      CAPACITY_STOP("  TOO MANY LOCI!", capacity_.MAX_LOCI, d.AT.NUMBLOCI.LINE,
                    "number of loci is " + std::to_string(d.NUMBLOCI), d.NUMBLOCI,
                    &CAPACITY_PROFILE::MAX_LOCI, "loci");
    d.NUMBPOPS = READ_INT16("the number of populations", d.AT.NUMBPOPS);
    in_.SKIP_LINE();
    if (d.NUMBPOPS > capacity_.MAX_POPS)
      CAPACITY_STOP("  TOO MANY POPULATIONS!", capacity_.MAX_POPS, d.AT.NUMBPOPS.LINE,
                    "number of populations is " + std::to_string(d.NUMBPOPS), d.NUMBPOPS,
                    &CAPACITY_PROFILE::MAX_POPS, "populations");
    d.DRIFT_SIZE = READ_INT16("the effective size during drift", d.AT.DRIFT_SIZE);
    in_.SKIP_LINE();
    d.STOP_T = READ_INT16("the number of generations of drift", d.AT.STOP_T);
    in_.SKIP_LINE();
    for (int i = 1; i <= d.NUMBPOPS; ++i) {
      d.AT.SAMPLESIZE.emplace_back();
      d.SAMPLESIZE.push_back(
          READ_INT16("the sample size of population " + std::to_string(i), d.AT.SAMPLESIZE.back()));
    }
    in_.SKIP_LINE();
    d.STOP_RUNS = READ_INT32("the number of replicate runs", d.AT.STOP_RUNS);
    in_.SKIP_LINE();
    in_.SKIP_LINE();
    in_.SKIP_LINE();
  }

  // A locus that declares more alleles than the build holds is read to its
  // end; the allele-count check stops afterwards.
  void READ_BASE_POPULATION() {
    for (int l = 1; l <= document_.NUMBLOCI; ++l) {
      document_.LOCI.emplace_back();
      LOCUS_DOCUMENT& locus = document_.LOCI.back();
      TOKEN_SPAN count;
      locus.ALLELES = READ_INT16("the number of alleles at locus " + std::to_string(l), count);
      locus.SPAN = count;
      locus.LAST_LINE = count.LINE;
      for (int a = 1; a <= locus.ALLELES; ++a) {
        locus.FREQUENCIES.push_back(
            in_.READ_REAL("the frequency of allele " + std::to_string(a) + " at locus " + std::to_string(l)));
        locus.LAST_LINE = in_.LAST_LINE();
        if (locus.LAST_LINE == count.LINE) ++locus.FREQUENCIES_ON_FIRST_LINE;
      }
      in_.SKIP_LINE();
      locus.SPAN.LENGTH = in_.POSITION() - count.OFFSET;
    }
  }

  void CHECK_ALLELE_COUNTS() {
    const LOCUS_DOCUMENT* first_beyond = nullptr;
    int beyond = 0;
    for (const LOCUS_DOCUMENT& locus : document_.LOCI) {
      if (locus.ALLELES > capacity_.MAX_ALLELES) {
        if (first_beyond == nullptr) first_beyond = &locus;
        ++beyond;
      }
    }
    if (first_beyond != nullptr) {
      const int l = static_cast<int>(first_beyond - document_.LOCI.data()) + 1;
      std::string what = "locus " + std::to_string(l) + " declares " + std::to_string(first_beyond->ALLELES) +
                         " alleles";
      if (beyond > 1)
        what += " (and " + PLURAL(beyond - 1, "other locus", "other loci") + " more than " +
                std::to_string(capacity_.MAX_ALLELES) + ")";
      CAPACITY_STOP("  TOO MANY ALLELES/LOCUS!", capacity_.MAX_ALLELES, first_beyond->SPAN.LINE, what,
                    MOST_ALLELES(), &CAPACITY_PROFILE::MAX_ALLELES, "alleles per locus");
    }
    for (std::size_t i = 0; i < document_.LOCI.size(); ++i) {
      const LOCUS_DOCUMENT& locus = document_.LOCI[i];
      if (locus.ALLELES < 1)
        REJECT(locus.SPAN.LINE, "number of alleles at locus " + std::to_string(i + 1) + " is " +
                                    std::to_string(locus.ALLELES) + "; at least 1 is needed");
    }
  }

  int MOST_ALLELES() const {
    int most = 0;
    for (const LOCUS_DOCUMENT& locus : document_.LOCI) most = std::max(most, static_cast<int>(locus.ALLELES));
    return most;
  }

  void CHECK_FREQUENCY_SUMS() {
    for (std::size_t i = 0; i < document_.LOCI.size(); ++i) {
      const LOCUS_DOCUMENT& locus = document_.LOCI[i];
      const double sum = FREQUENCY_SUM(locus.FREQUENCIES);
      if (!FREQUENCY_SUM_PASSES(sum)) FREQUENCY_STOP(static_cast<int>(i) + 1, locus, sum);
    }
  }

  void CHECK_SIZE(int line, const std::string& quantity, long long value) {
    if (value < 1 || value > MAX_DIPLOIDS)
      REJECT(line, quantity + " is " + std::to_string(value) + "; it must lie in 1.." +
                       std::to_string(MAX_DIPLOIDS));
  }

  // Values that the simulation cannot use: each would otherwise divide by
  // zero, overflow a 16-bit counter or never end.
  void CHECK_USABLE_VALUES() {
    const auto& d = document_;
    if (d.RUN_FISHER == 1) {
      if (d.ITER2 < 2)
        REJECT(d.AT.ITER1.LINE, "number of batches of the exact test is " + std::to_string(d.ITER2) +
                                    "; at least 2 are needed when the exact test is on");
      if (d.ITER3 < 1)
        REJECT(d.AT.ITER1.LINE, "number of steps per batch of the exact test is " + std::to_string(d.ITER3) +
                                    "; at least 1 is needed when the exact test is on");
    }
    if (d.NUMBLOCI < 1)
      REJECT(d.AT.NUMBLOCI.LINE,
             "number of loci is " + std::to_string(d.NUMBLOCI) + "; at least 1 is needed");
    if (d.NUMBPOPS < 2)
      REJECT(d.AT.NUMBPOPS.LINE,
             "number of populations is " + std::to_string(d.NUMBPOPS) + "; at least 2 are needed");
    CHECK_SIZE(d.AT.DRIFT_SIZE.LINE, "effective size during drift", d.DRIFT_SIZE);
    for (std::size_t i = 0; i < d.SAMPLESIZE.size(); ++i)
      CHECK_SIZE(d.AT.SAMPLESIZE[i].LINE, "sample size of population " + std::to_string(i + 1),
                 d.SAMPLESIZE[i]);
    if (d.STOP_RUNS < 1)
      REJECT(d.AT.STOP_RUNS.LINE,
             "number of replicate runs is " + std::to_string(d.STOP_RUNS) + "; at least 1 is needed");
    for (std::size_t l = 0; l < d.LOCI.size(); ++l) {
      const LOCUS_DOCUMENT& locus = d.LOCI[l];
      for (std::size_t a = 0; a < locus.FREQUENCIES.size(); ++a) {
        const double frequency = locus.FREQUENCIES[a];
        if (!(frequency >= 0.0 && frequency <= 1.0))
          REJECT(locus.LAST_LINE, "frequency of allele " + std::to_string(a + 1) + " at locus " +
                                      std::to_string(l + 1) + " is " + NUMBER_TEXT(frequency, "%.10g") +
                                      "; it must lie in 0..1");
      }
    }
    for (const LOCUS_DOCUMENT& locus : d.LOCI) {
      const auto present = std::count_if(locus.FREQUENCIES.begin(), locus.FREQUENCIES.end(),
                                         [](double f) { return f > 0.0; });
      if (present >= 2) return;
    }
    REJECT(d.LOCI.front().SPAN.LINE,
           "no locus has two or more alleles of non-zero frequency; every sample would be "
           "monomorphic and no run could be completed");
  }

  [[noreturn]] void REJECT(int line, const std::string& what) const {
    throw INPUT_FAULT(INPUT_FAULT::UNUSABLE_VALUE, document_.NAME, line, what,
                      document_.NAME + " line " + std::to_string(line) + ": " + what + "\n",
                      STOP_EXIT_STATUS);
  }

  // The program's capacity stop, with a note that says which build holds
  // the value, if either does.
  [[noreturn]] void CAPACITY_STOP(const char* quantity_line, int maximum, int line, const std::string& what,
                                  int value, int CAPACITY_PROFILE::*limit, const std::string& unit) const {
    const std::string console = std::string(17, '\n') + quantity_line + "\n  Maximum for this version is " +
                                INT_TEXT(maximum) + ".\n";
    INPUT_FAULT fault(
        INPUT_FAULT::CAPACITY, document_.NAME, line,
        what + "; " + capacity_.BUILD_NAME + " holds at most " + std::to_string(maximum) + " " + unit,
        console, STOP_EXIT_STATUS);
    const CAPACITY_PROFILE& other = OTHER_CAPACITY(capacity_);
    if (value <= other.*limit) {
      fault.NOTES.push_back(fault.SUMMARY() + "; " + other.BUILD_NAME + " holds up to " +
                            std::to_string(other.*limit) + ": run " + other.BUILD_NAME);
    } else {
      fault.NOTES.push_back(fault.SUMMARY() + ", and " + other.BUILD_NAME + " at most " +
                            std::to_string(other.*limit) + ": no build holds this file");
    }
    throw fault;
  }

  [[noreturn]] void FREQUENCY_STOP(int l, const LOCUS_DOCUMENT& locus, double sum) const {
    const std::string console = std::string(10, '\n') + "   PROGRAM HALTED\n" +
                                "   Allele frequencies do not sum to unity at Locus " + INT_TEXT(l, 2) + "\n";
    INPUT_FAULT fault(INPUT_FAULT::FREQUENCY_SUM, document_.NAME, locus.SPAN.LINE,
                      "the frequencies of locus " + std::to_string(l) + " sum to " +
                          NUMBER_TEXT(sum, "%.12g") + "; they must sum to 1 within " +
                          NUMBER_TEXT(static_cast<double>(FREQUENCY_SUM_TOLERANCE), "%.6f"),
                      console, STOP_EXIT_STATUS, /*alert=*/true);
    fault.NOTES.push_back(fault.SUMMARY());
    throw fault;
  }

  // When a locus line holds fewer frequencies than its allele count, the
  // reader takes the following line's numbers as the missing frequencies,
  // and the fault reported is some later one. Name the first such locus
  // when the line it ran into reads as a locus line of its own.
  void ADD_RUN_ON_NOTE(INPUT_FAULT& fault) const {
    const std::string& text = in_.TEXT();
    for (std::size_t i = 0; i < document_.LOCI.size(); ++i) {
      const LOCUS_DOCUMENT& locus = document_.LOCI[i];
      if (locus.LAST_LINE <= locus.SPAN.LINE) continue;
      if (!LOOKS_LIKE_A_LOCUS_LINE(text, locus.SPAN.LINE + 1)) continue;
      fault.NOTES.push_back(
          document_.NAME + ": locus " + std::to_string(i + 1) + " declares " +
          PLURAL(locus.ALLELES, "allele", "alleles") + " but line " + std::to_string(locus.SPAN.LINE) +
          " holds only " + PLURAL(locus.FREQUENCIES_ON_FIRST_LINE, "frequency", "frequencies") +
          ", so the frequencies were taken on from line " + std::to_string(locus.SPAN.LINE + 1));
      return;
    }
  }

  TextIn in_;
  const CAPACITY_PROFILE& capacity_;
  INPUT_DOCUMENT document_;
};

// ---- Writing ---------------------------------------------------------

constexpr const char* LINE_END = "\r\n";
constexpr std::size_t LABEL_COLUMN = 19;
const std::string RULE(69, '-');

void APPEND_SETTING(std::string& out, const std::string& values, const char* label) {
  out += values;
  out += values.size() + 1 < LABEL_COLUMN ? std::string(LABEL_COLUMN - values.size(), ' ') : std::string(" ");
  out += label;
  out += LINE_END;
}

// Cut to COMMENT_LENGTH bytes, never inside a UTF-8 character, with every
// control character (a line end would start a new line) made a blank.
std::string CLEAN_COMMENT(const std::string& comment) {
  std::string text = comment;
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  if (text.size() > COMMENT_LENGTH) {
    std::size_t cut = COMMENT_LENGTH;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

// The shortest decimal text that reads back as the same double; plain
// decimals down to 1e-6, exponent notation below (the reader takes both).
std::string FREQUENCY_TEXT(double value) {
  char buffer[64];
  const auto format = value == 0.0 || std::fabs(value) >= 1e-6 ? std::chars_format::fixed
                                                               : std::chars_format::scientific;
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format);
  return std::string(buffer, result.ptr);
}

}  // namespace

INPUT_DOCUMENT READ_INPUT_TEXT(std::string_view name, std::string text, const CAPACITY_PROFILE& capacity) {
  return DocumentReader(name, std::move(text), capacity).READ();
}

INPUT_DOCUMENT READ_INPUT_FILE(const std::string& path, const CAPACITY_PROFILE& capacity,
                               bool any_letter_case) {
  TextIn file;
  file.THROW_FAULTS(true);
  file.OPEN(path, any_letter_case);
  return READ_INPUT_TEXT(file.NAME(), file.TEXT(), capacity);
}

double FREQUENCY_SUM(const std::vector<double>& frequencies) {
  double X = 0;
  for (double frequency : frequencies)
    X = static_cast<double>(static_cast<EXTENDED>(X) + static_cast<EXTENDED>(frequency));
  return X;
}

bool FREQUENCY_SUM_PASSES(double sum) {
  return !(std::fabs(static_cast<EXTENDED>(sum) - 1.0L) > FREQUENCY_SUM_TOLERANCE);
}

std::string WRITE_INPUT_TEXT(const INPUT_DOCUMENT& document) {
  const auto& d = document;
  if (d.NUMBLOCI != static_cast<long long>(d.LOCI.size()) ||
      d.NUMBPOPS != static_cast<long long>(d.SAMPLESIZE.size()))
    throw std::invalid_argument("input document: NUMBLOCI or NUMBPOPS differs from its list");
  for (const LOCUS_DOCUMENT& locus : d.LOCI)
    if (locus.ALLELES != static_cast<long long>(locus.FREQUENCIES.size()))
      throw std::invalid_argument("input document: a locus's allele count differs from its frequencies");

  std::string out;
  out += CLEAN_COMMENT(d.COMMENT1) + LINE_END;
  out += CLEAN_COMMENT(d.COMMENT2) + LINE_END;
  APPEND_SETTING(out, std::to_string(d.ITER1) + " " + std::to_string(d.ITER2) + " " + std::to_string(d.ITER3),
                 "exact test: dememorization steps, batches, steps per batch");
  APPEND_SETTING(out, std::to_string(d.RUN_CHI2) + " " + std::to_string(d.RUN_FISHER),
                 "chi-square test (1 = on), exact test (1 = on)");
  APPEND_SETTING(out, std::to_string(d.ERASE_DETAILED_OUTPUT),
                 "1 = delete the detailed output files at the end");
  out += RULE + LINE_END;
  APPEND_SETTING(out, std::to_string(d.NUMBLOCI), "number of loci");
  APPEND_SETTING(out, std::to_string(d.NUMBPOPS), "number of subpopulations");
  APPEND_SETTING(out, std::to_string(d.DRIFT_SIZE), "effective size during drift (diploid individuals)");
  APPEND_SETTING(out, std::to_string(d.STOP_T),
                 "generations of drift (0 = samples from the base population)");
  std::string sizes;
  for (INT16 size : d.SAMPLESIZE) {
    if (!sizes.empty()) sizes += ' ';
    sizes += std::to_string(size);
  }
  APPEND_SETTING(out, sizes, "diploid sample size of each subpopulation");
  APPEND_SETTING(out, std::to_string(d.STOP_RUNS), "number of replicate runs");
  out += RULE + LINE_END;
  out += std::string("alleles  frequencies (one line per locus; they must sum to 1)") + LINE_END;
  for (const LOCUS_DOCUMENT& locus : d.LOCI) {
    out += std::to_string(locus.ALLELES) + " ";
    for (double frequency : locus.FREQUENCIES) {
      out += ' ';
      out += FREQUENCY_TEXT(frequency);
    }
    out += LINE_END;
  }
  return out;
}

std::string REPLACE_TOKENS(std::string_view text, std::vector<TOKEN_REPLACEMENT> replacements) {
  std::sort(
      replacements.begin(), replacements.end(),
      [](const TOKEN_REPLACEMENT& a, const TOKEN_REPLACEMENT& b) { return a.SPAN.OFFSET < b.SPAN.OFFSET; });
  std::string out;
  std::size_t kept_from = 0;
  for (const TOKEN_REPLACEMENT& replacement : replacements) {
    const TOKEN_SPAN& span = replacement.SPAN;
    if (span.OFFSET < kept_from || span.END() > text.size())
      throw std::invalid_argument("token replacements overlap or lie beyond the text");
    out.append(text.substr(kept_from, span.OFFSET - kept_from));
    out += replacement.TEXT;
    kept_from = span.END();
  }
  out.append(text.substr(kept_from));
  return out;
}

}  // namespace korvel
