// The input template: located with the program's own reading rules, so that
// the tokens replaced are exactly the ones the program will read as the
// number of loci, the effective size, the generations of drift and the
// sample sizes, wherever the user has put them (several values on a line, a
// group spread over lines, comments after the values).
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "common/text_input.h"
#include "sweep.h"

namespace korvel::sweep {

namespace {

bool is_separator(char c) { return static_cast<unsigned char>(c) <= 32; }

struct Token {
  std::size_t offset = 0;
  std::size_t length = 0;
  long long value = 0;
  int line = 0;
};

// Where a point's changes go, besides the facts.
struct TemplatePlaces {
  std::size_t comment2_begin = 0, comment2_end = 0;  // line 2 without its line end
  Token loci, drift_size, stop_t;
  std::vector<Token> sample_sizes;
  std::vector<std::size_t> locus_begin;  // start of each locus's first line
  std::size_t loci_end = 0;              // after the last locus's line end
};

class TemplateReader {
 public:
  TemplateReader(std::string_view name, const std::string& text) : name_(name), text_(text) {}

  Token read_integer(std::string_view quantity, long long low, long long high) {
    const std::string_view text = next_token(quantity);
    Token token{pos_ - text.size(), text.size(), 0, line_};
    if (!PARSE_INTEGER_TOKEN(text, token.value)) {
      fail("\"" + std::string(text) + "\" is not a whole number where " + std::string(quantity) +
           " was expected");
    }
    if (token.value < low || token.value > high) {
      fail(std::string(quantity) + " is " + std::string(text) + ", outside " + std::to_string(low) + ".." +
           std::to_string(high));
    }
    return token;
  }
  Token read_int16(std::string_view quantity) {
    return read_integer(quantity, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
  }
  Token read_int32(std::string_view quantity) {
    return read_integer(quantity, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
  }
  void read_real(std::string_view quantity) {
    const std::string_view text = next_token(quantity);
    double value = 0;
    if (!PARSE_REAL_TOKEN(text, value)) {
      fail("\"" + std::string(text) + "\" is not a number where " + std::string(quantity) + " was expected");
    }
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
  std::size_t pos() const { return pos_; }

 private:
  std::string_view next_token(std::string_view quantity) {
    while (pos_ < text_.size() && is_separator(text_[pos_])) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
    if (pos_ >= text_.size()) fail("the file ends before " + std::string(quantity) + " was read");
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
    return std::string_view(text_).substr(start, pos_ - start);
  }

  [[noreturn]] void fail(const std::string& what) const {
    throw SweepError(name_ + " line " + std::to_string(line_) + ": " + what);
  }

  std::string name_;
  const std::string& text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

TemplatePlaces read_places(std::string_view name, const std::string& text, InputFacts& facts) {
  TemplatePlaces places;
  TemplateReader in(name, text);
  in.skip_line();  // first comment
  places.comment2_begin = in.pos();
  in.skip_line();  // second comment
  places.comment2_end = in.pos();
  while (places.comment2_end > places.comment2_begin &&
         (text[places.comment2_end - 1] == '\n' || text[places.comment2_end - 1] == '\r')) {
    --places.comment2_end;
  }
  facts.comment1 = text.substr(0, std::min(text.find_first_of("\r\n"), std::size_t{80}));
  facts.iter1 = in.read_int32("the first iteration factor").value;
  facts.iter2 = in.read_int32("the second iteration factor").value;
  facts.iter3 = in.read_int32("the third iteration factor").value;
  in.skip_line();
  facts.chi2_on = in.read_int16("the chi-square test switch").value == 1;
  facts.fisher_on = in.read_int16("the exact test switch").value == 1;
  in.skip_line();
  in.read_int16("the erase switch");
  in.skip_line();
  in.skip_line();  // free line
  places.loci = in.read_int16("the number of loci");
  in.skip_line();
  facts.pops = static_cast<int>(in.read_int16("the number of subpopulations").value);
  in.skip_line();
  places.drift_size = in.read_int16("the effective size (DRIFT_SIZE)");
  in.skip_line();
  places.stop_t = in.read_int16("the generations of drift (STOP_T)");
  in.skip_line();
  for (int i = 1; i <= facts.pops; ++i) {
    places.sample_sizes.push_back(in.read_int16("sample size " + std::to_string(i)));
  }
  in.skip_line();
  facts.runs = in.read_int32("the number of runs").value;
  in.skip_line();
  in.skip_line();
  in.skip_line();
  facts.loci = static_cast<int>(places.loci.value);
  for (int locus = 1; locus <= facts.loci; ++locus) {
    places.locus_begin.push_back(in.pos());
    const std::string where = " of locus " + std::to_string(locus);
    const long long alleles = in.read_int16("the number of alleles" + where).value;
    for (long long a = 1; a <= alleles; ++a) in.read_real("the frequency of allele " + std::to_string(a) + where);
    in.skip_line();
  }
  places.loci_end = in.pos();
  facts.drift_size = static_cast<int>(places.drift_size.value);
  facts.generations = static_cast<int>(places.stop_t.value);
  for (const Token& size : places.sample_sizes) facts.sample_sizes.push_back(static_cast<int>(size.value));
  return places;
}

struct Edit {
  std::size_t offset = 0;
  std::size_t length = 0;
  std::string text;
};

}  // namespace

SweepTemplate PARSE_TEMPLATE(std::string_view name, std::string text) {
  SweepTemplate tmpl;
  tmpl.name = name;
  tmpl.text = std::move(text);
  const TemplatePlaces places = read_places(name, tmpl.text, tmpl.facts);
  tmpl.drift_size_line = places.drift_size.line;
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

std::string REWRITE_TEMPLATE(const SweepTemplate& tmpl, const PointValues& values, std::string_view comment2) {
  InputFacts facts;
  const TemplatePlaces places = read_places(tmpl.name, tmpl.text, facts);
  std::vector<Edit> edits;
  edits.push_back({places.comment2_begin, places.comment2_end - places.comment2_begin, std::string(comment2)});
  edits.push_back({places.drift_size.offset, places.drift_size.length, std::to_string(values.drift_size)});
  edits.push_back({places.stop_t.offset, places.stop_t.length, std::to_string(values.generations)});
  if (values.sample_size) {
    for (const Token& size : places.sample_sizes) {
      edits.push_back({size.offset, size.length, std::to_string(*values.sample_size)});
    }
  }
  if (values.loci && *values.loci != facts.loci) {
    if (*values.loci < 1 || *values.loci > facts.loci) {
      throw UsageError(tmpl.name + " has " + std::to_string(facts.loci) + " loci; cannot take the first " +
                       std::to_string(*values.loci));
    }
    edits.push_back({places.loci.offset, places.loci.length, std::to_string(*values.loci)});
    const std::size_t cut = places.locus_begin[static_cast<std::size_t>(*values.loci)];
    edits.push_back({cut, places.loci_end - cut, ""});
  }
  // From the end backwards, so that earlier offsets stay valid.
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.offset > b.offset; });
  std::string text = tmpl.text;
  for (const Edit& edit : edits) text.replace(edit.offset, edit.length, edit.text);
  return text;
}

}  // namespace korvel::sweep
