// Genepop text files as they are commonly written: a title line; locus
// names one per line or comma-separated (on one or more lines); "Pop" lines
// that start each population (a label after the word names it); one individual per line, "name ," followed by
// one genotype per locus. A genotype is 2 or 3 digits for one gene copy or 4
// or 6 digits for two; "0" and all-zero genotypes are missing, and a zero
// half of a diploid genotype is one missing copy.
#include <algorithm>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "init.h"
#include "text_lines.h"

namespace korvel::init {

namespace {

struct LocusTally {
  std::string name;
  std::size_t digits = 0;  // genotype width seen first at this locus; 0 while none seen
  int digits_line = 0;
  std::map<int, std::pair<std::string, std::vector<long long>>> alleles;  // code -> label, [pop] copies
  std::vector<long long> missing;
  std::vector<long long> called;
};

class GenepopReader {
 public:
  GenepopReader(std::string_view name, std::string_view text) : name_(name), lines_(SPLIT_LINES(text)) {}

  GenotypeData read() {
    data_.source = std::string(name_);
    data_.format = "Genepop";
    if (lines_.empty() || (lines_.size() == 1 && TRIM(lines_[0]).empty())) fail(1, "the file is empty");
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].find('\0') != std::string_view::npos) {
        fail(static_cast<int>(i + 1), "binary data where a Genepop text file was expected");
      }
    }
    std::size_t index = read_locus_names();
    for (; index < lines_.size(); ++index) {
      const std::string_view line = lines_[index];
      if (TRIM(line).empty()) continue;
      if (is_pop_line(line)) {
        close_population();
        population_line_ = static_cast<int>(index + 1);
        label_ = POP_LABEL(line);
        continue;
      }
      read_individual(line, static_cast<int>(index + 1));
    }
    close_population();
    if (data_.populations.empty()) fail(population_line_, "no individuals after the Pop lines");
    finish();
    return std::move(data_);
  }

 private:
  [[noreturn]] void fail(int line, const std::string& what) const {
    throw InitError(std::string(name_) + " line " + std::to_string(line) + ": " + what);
  }

  // A "Pop" line holds the word Pop in any letter case, alone or followed
  // by blanks, a comma or a colon and a label ("Pop Borgou", "POP, Zebu",
  // "pop: 3"). An individual named "pop" is told apart by its genotypes:
  // one all-digit genotype per locus after the comma.
  bool is_pop_line(std::string_view line) const {
    const std::string_view text = TRIM(line);
    if (text.size() < 3 || LOWER(text.substr(0, 3)) != "pop") return false;
    if (text.size() > 3 && !IS_BLANK(text[3]) && text[3] != ',' && text[3] != ':') return false;
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos || loci_.empty()) return true;
    const std::vector<std::string_view> genotypes = SPLIT_BLANKS(text.substr(comma + 1));
    const bool individual = genotypes.size() == loci_.size() &&
                            std::all_of(genotypes.begin(), genotypes.end(), [](std::string_view genotype) {
                              return std::all_of(genotype.begin(), genotype.end(),
                                                 [](char c) { return c >= '0' && c <= '9'; });
                            });
    return !individual;
  }

  static std::string POP_LABEL(std::string_view line) {
    std::string_view label = TRIM(TRIM(line).substr(3));
    if (!label.empty() && (label.front() == ',' || label.front() == ':')) label = TRIM(label.substr(1));
    return std::string(label);
  }

  // Locus names follow the title up to the first Pop line; returns the index
  // of that line.
  std::size_t read_locus_names() {
    std::size_t index = 1;
    for (; index < lines_.size() && !is_pop_line(lines_[index]); ++index) {
      std::string_view rest = lines_[index];
      while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = TRIM(rest.substr(0, comma));
        if (!item.empty()) add_locus(std::string(item));
        if (comma == std::string_view::npos) break;
        rest.remove_prefix(comma + 1);
      }
    }
    if (index >= lines_.size()) {
      fail(static_cast<int>(lines_.size()),
           "no Pop line: a Genepop file lists its loci, then \"Pop\" before each population");
    }
    if (loci_.empty())
      fail(static_cast<int>(index + 1), "no locus names between the title line and the first Pop line");
    return index;
  }

  void add_locus(std::string locus_name) {
    LocusTally tally;
    tally.name = std::move(locus_name);
    loci_.push_back(std::move(tally));
  }

  // A Pop line with no individuals after it (often a stray one at the end)
  // adds no population; the summary says so.
  void close_population() {
    if (population_line_ > 0 && individuals_in_population_ == 0) {
      data_.notes.push_back("the Pop line at line " + std::to_string(population_line_) +
                            " has no individuals; left out");
    }
    individuals_in_population_ = 0;
  }

  // Named by its Pop line's label, else by its first individual.
  void start_population(const std::string& first_individual) {
    data_.populations.push_back(!label_.empty() ? label_
                                : first_individual.empty()
                                    ? "Pop " + std::to_string(data_.populations.size() + 1)
                                    : first_individual);
    data_.individuals.push_back(0);
    data_.genotyped.push_back(0);
    for (LocusTally& locus : loci_) {
      locus.missing.push_back(0);
      locus.called.push_back(0);
      for (auto& [code, allele] : locus.alleles) allele.second.push_back(0);
    }
  }

  void read_individual(std::string_view line, int line_number) {
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
      fail(line_number, "expected an individual (\"name , genotypes\") or a Pop line, found \"" +
                            std::string(TRIM(line)) + "\"");
    }
    const std::string individual(TRIM(line.substr(0, comma)));
    if (individuals_in_population_ == 0) start_population(individual);
    ++individuals_in_population_;
    const std::size_t pop = data_.populations.size() - 1;
    ++data_.individuals[pop];

    const std::vector<std::string_view> genotypes = SPLIT_BLANKS(line.substr(comma + 1));
    if (genotypes.size() != loci_.size()) {
      fail(line_number, "individual \"" + individual + "\" has " + std::to_string(genotypes.size()) +
                            " genotypes; the file names " + std::to_string(loci_.size()) + " loci");
    }
    bool any_call = false;
    for (std::size_t l = 0; l < loci_.size(); ++l) {
      any_call |= read_genotype(loci_[l], genotypes[l], pop, line_number, individual);
    }
    if (any_call) ++data_.genotyped[pop];
  }

  // Returns whether the genotype holds at least one gene copy.
  bool read_genotype(LocusTally& locus, std::string_view token, std::size_t pop, int line_number,
                     const std::string& individual) {
    const auto where = [&] {
      return "individual \"" + individual + "\", locus " + locus.name + ": genotype \"" + std::string(token) +
             "\"";
    };
    if (!std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      fail(line_number, where() + " is not made of digits");
    }
    if (std::all_of(token.begin(), token.end(), [](char c) { return c == '0'; }) &&
        (token.size() == 1 || token.size() == 2 || token.size() == 3 || token.size() == 4 ||
         token.size() == 6)) {
      ++locus.missing[pop];
      return false;
    }
    const std::size_t digits = token.size();
    if (digits != 2 && digits != 3 && digits != 4 && digits != 6) {
      fail(line_number, where() + " has " + std::to_string(digits) +
                            " digits; expected 4 or 6 (two alleles of 2 or 3 digits) or 2 or 3 (one allele)");
    }
    if (locus.digits == 0) {
      locus.digits = digits;
      locus.digits_line = line_number;
    } else if (locus.digits != digits) {
      fail(line_number, where() + " has " + std::to_string(digits) + " digits but line " +
                            std::to_string(locus.digits_line) + " gave this locus " +
                            std::to_string(locus.digits));
    }
    const std::size_t width = digits == 4 || digits == 6 ? digits / 2 : digits;
    bool any_copy = false;
    for (std::size_t start = 0; start < digits; start += width) {
      const std::string label(token.substr(start, width));
      const int code = std::stoi(label);
      if (code == 0) continue;
      auto [it, added] = locus.alleles.try_emplace(code);
      if (added) it->second = {label, std::vector<long long>(data_.populations.size(), 0)};
      ++it->second.second[pop];
      any_copy = true;
    }
    if (any_copy) ++locus.called[pop];
    else ++locus.missing[pop];
    return any_copy;
  }

  void finish() {
    bool diploid = false;
    bool haploid = false;
    for (LocusTally& tally : loci_) {
      if (tally.digits == 4 || tally.digits == 6) diploid = true;
      if (tally.digits == 2 || tally.digits == 3) haploid = true;
      LocusCounts locus;
      locus.name = tally.name;
      locus.missing = tally.missing;
      locus.called = tally.called;
      locus.counts.assign(data_.populations.size(), {});
      for (auto& [code, allele] : tally.alleles) {
        locus.alleles.push_back(allele.first);
        for (std::size_t p = 0; p < data_.populations.size(); ++p)
          locus.counts[p].push_back(allele.second[p]);
      }
      data_.loci.push_back(std::move(locus));
    }
    data_.ploidy = diploid && haploid ? "mixed ploidy" : haploid ? "haploid" : "diploid";
  }

  std::string_view name_;
  std::vector<std::string_view> lines_;
  GenotypeData data_;
  std::vector<LocusTally> loci_;
  int population_line_ = 0;  // of the Pop line that started the current population
  std::string label_;        // of that Pop line; empty when it has none
  long long individuals_in_population_ = 0;
};

}  // namespace

GenotypeData READ_GENEPOP_TEXT(std::string_view name, std::string_view text) {
  return GenepopReader(name, text).read();
}

GenotypeData READ_GENEPOP(const std::string& path) { return READ_GENEPOP_TEXT(path, READ_TEXT_FILE(path)); }

}  // namespace korvel::init
