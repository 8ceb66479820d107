// The input template: located with the program's own reading rules, so that
// the tokens replaced are exactly the ones the program will read as the
// effective size and the generations of drift, wherever the user has put
// them (several values on a line, a group spread over lines, comments after
// the values).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "sweep.h"

namespace korvel::sweep {

namespace {

bool is_separator(char c) { return static_cast<unsigned char>(c) <= 32; }

bool parse_integer(std::string_view token, long long& value) {
  std::string_view digits = token;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (digits.empty()) return false;
  long long magnitude = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    // Saturate well beyond every range checked below.
    if (magnitude < 1'000'000'000'000LL) magnitude = magnitude * 10 + (c - '0');
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

class TemplateReader {
 public:
  TemplateReader(std::string_view name, const std::string& text) : name_(name), text_(text) {}

  TemplateToken read_integer(std::string_view quantity, long long low, long long high) {
    while (pos_ < text_.size() && is_separator(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) {
      fail("the file ends before " + std::string(quantity) + " was read");
    }
    TemplateToken token;
    token.offset = pos_;
    token.line = line_;
    while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
    token.length = pos_ - token.offset;
    const std::string_view text = std::string_view(text_).substr(token.offset, token.length);
    if (!parse_integer(text, token.value)) {
      fail("\"" + std::string(text) + "\" is not a whole number where " + std::string(quantity) +
           " was expected");
    }
    if (token.value < low || token.value > high) {
      fail(std::string(quantity) + " is " + std::string(text) + ", outside " + std::to_string(low) +
           ".." + std::to_string(high));
    }
    return token;
  }

  TemplateToken read_int16(std::string_view quantity) {
    return read_integer(quantity, std::numeric_limits<std::int16_t>::min(),
                        std::numeric_limits<std::int16_t>::max());
  }

  TemplateToken read_int32(std::string_view quantity) {
    return read_integer(quantity, std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max());
  }

  // A line of text (the comments) and a group's end both move past the
  // next LF; a CR before it belongs to the line end.
  void skip_line() {
    const std::size_t end = text_.find('\n', pos_);
    if (end == std::string::npos) {
      pos_ = text_.size();
    } else {
      pos_ = end + 1;
      ++line_;
    }
  }

 private:
  [[noreturn]] void fail(const std::string& what) const {
    throw SweepError(name_ + " line " + std::to_string(line_) + ": " + what);
  }

  std::string name_;
  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

SweepTemplate PARSE_TEMPLATE(std::string_view name, std::string text) {
  SweepTemplate tmpl;
  tmpl.text = std::move(text);
  TemplateReader in(name, tmpl.text);
  in.skip_line();  // first comment
  in.skip_line();  // second comment
  in.read_int32("the first iteration factor");
  in.read_int32("the second iteration factor");
  in.read_int32("the third iteration factor");
  in.skip_line();
  tmpl.run_chi2 = static_cast<int>(in.read_int16("the chi-square test switch").value);
  tmpl.run_fisher = static_cast<int>(in.read_int16("the exact test switch").value);
  in.skip_line();
  in.read_int16("the erase switch");
  in.skip_line();
  in.skip_line();  // free line
  in.read_int16("the number of loci");
  in.skip_line();
  const long long pops = in.read_int16("the number of subpopulations").value;
  in.skip_line();
  tmpl.drift_size = in.read_int16("the effective size (DRIFT_SIZE)");
  in.skip_line();
  tmpl.stop_t = in.read_int16("the generations of drift (STOP_T)");
  in.skip_line();
  for (long long i = 1; i <= pops; ++i) in.read_int16("sample size " + std::to_string(i));
  in.skip_line();
  tmpl.stop_runs = in.read_int32("the number of runs").value;
  return tmpl;
}

SweepTemplate READ_TEMPLATE(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw SweepError("cannot read " + path + ": " + std::strerror(errno));
  std::ostringstream content;
  content << file.rdbuf();
  if (file.bad()) throw SweepError("cannot read " + path);
  return PARSE_TEMPLATE(path, content.str());
}

std::string REWRITE_TEMPLATE(const SweepTemplate& tmpl, int drift_size, int generations) {
  std::string text = tmpl.text;
  // The later token first, so that the earlier offset stays valid.
  const TemplateToken* first = &tmpl.drift_size;
  const TemplateToken* second = &tmpl.stop_t;
  std::string first_text = std::to_string(drift_size);
  std::string second_text = std::to_string(generations);
  if (first->offset > second->offset) {
    std::swap(first, second);
    std::swap(first_text, second_text);
  }
  text.replace(second->offset, second->length, second_text);
  text.replace(first->offset, first->length, first_text);
  return text;
}

}  // namespace korvel::sweep
