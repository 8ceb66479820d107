// A base population given as allele frequencies rather than genotypes: a
// CSV or TSV table with a header naming the columns locus, allele and
// frequency, one row per allele. The frequencies are written into KORVEL.IN
// as given, each locus checked to sum to 1 by the program's own rule;
// a locus whose only allele has frequency 1 carries no information and is
// left out, as a monomorphic locus of genotype data is.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "init.h"
#include "input/input_document.h"
#include "text_lines.h"

namespace korvel::init {

namespace {

std::string_view UNQUOTED(std::string_view field) {
  field = TRIM(field);
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
    field = field.substr(1, field.size() - 2);
  return TRIM(field);
}

std::vector<std::string_view> SPLIT_AT(std::string_view line, char separator) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t at = line.find(separator); at != std::string_view::npos;
       at = line.find(separator, start)) {
    fields.push_back(UNQUOTED(line.substr(start, at - start)));
    start = at + 1;
  }
  fields.push_back(UNQUOTED(line.substr(start)));
  return fields;
}

struct Columns {
  char separator = ',';
  std::size_t locus = 0, allele = 0, frequency = 0, count = 0;
};

// The header names the three columns, in any order and letter case; a tab
// in it makes the table tab-separated.
Columns READ_HEADER(const std::string& name, std::string_view header) {
  Columns columns;
  columns.separator = header.find('\t') != std::string_view::npos ? '\t' : ',';
  const std::vector<std::string_view> fields = SPLIT_AT(header, columns.separator);
  columns.count = fields.size();
  const auto find = [&](const std::string& wanted) {
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (LOWER(fields[i]) == wanted) return i;
    throw InitError(name + " line 1: the header has no column \"" + wanted +
                    "\"; a frequency table starts with the header locus,allele,frequency");
  };
  columns.locus = find("locus");
  columns.allele = find("allele");
  columns.frequency = find("frequency");
  return columns;
}

double READ_FREQUENCY(const std::string& where, std::string_view text) {
  double value = 0;
  const auto [end, fault] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (fault != std::errc() || end != text.data() + text.size() || text.empty()) {
    throw InitError(where + ": the frequency \"" + std::string(text) + "\" is not a number");
  }
  if (!std::isfinite(value) || value <= 0 || value > 1) {
    throw InitError(where + ": the frequency " + std::string(text) +
                    " is not above 0 and at most 1 (leave out alleles that are absent)");
  }
  return value;
}

std::string PRINTED(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

struct TableLocus {
  std::string name;
  std::vector<std::string> alleles;
  std::vector<double> frequencies;
};

std::vector<TableLocus> READ_TABLE(const std::string& name, std::string_view text) {
  const std::vector<std::string_view> lines = SPLIT_LINES(text);
  if (lines.empty() || TRIM(lines[0]).empty())
    throw InitError(name + " is empty; it needs the header locus,allele,frequency");
  const Columns columns = READ_HEADER(name, lines[0]);
  std::vector<TableLocus> loci;
  std::map<std::string, std::size_t> locus_at;
  for (std::size_t l = 1; l < lines.size(); ++l) {
    if (TRIM(lines[l]).empty()) continue;
    const std::string where = name + " line " + std::to_string(l + 1);
    const std::vector<std::string_view> fields = SPLIT_AT(lines[l], columns.separator);
    if (fields.size() != columns.count) {
      throw InitError(where + ": " + std::to_string(fields.size()) + " fields where the header has " +
                      std::to_string(columns.count));
    }
    const std::string locus(fields[columns.locus]), allele(fields[columns.allele]);
    if (locus.empty() || allele.empty()) throw InitError(where + ": the locus or allele is empty");
    const auto [at, added] = locus_at.try_emplace(locus, loci.size());
    if (added) loci.push_back({locus, {}, {}});
    TableLocus& entry = loci[at->second];
    if (std::find(entry.alleles.begin(), entry.alleles.end(), allele) != entry.alleles.end()) {
      throw InitError(where + ": allele " + allele + " of locus " + locus + " is listed twice");
    }
    entry.alleles.push_back(allele);
    entry.frequencies.push_back(READ_FREQUENCY(where, fields[columns.frequency]));
  }
  if (loci.empty()) throw InitError(name + " lists no allele below its header");
  return loci;
}

void REFUSE_GENOTYPE_OPTIONS(const InitOptions& options) {
  const auto refuse = [](bool given, const std::string& option) {
    if (given) throw UsageError(option + " reads genotype data; a frequency table has none");
  };
  refuse(!options.popmap.empty(), "--popmap");
  refuse(!options.pops.empty(), "--pop");
  refuse(options.pass_only, "--pass-only");
  refuse(options.allow_truncated, "--allow-truncated");
  refuse(options.max_alleles.has_value(), "--max-alleles");
  refuse(options.filter.min_maf.has_value(), "--min-maf");
  refuse(options.filter.max_missing.has_value(), "--max-missing");
  refuse(options.filter.min_samples.has_value(), "--min-samples");
  if (options.samples.empty()) {
    throw UsageError(
        "a frequency table has no individuals to take the sample size from; give --sample or --samples");
  }
}

}  // namespace

GenotypeData READ_FREQUENCY_TABLE(const InitOptions& options, BasePopulation& base) {
  REFUSE_GENOTYPE_OPTIONS(options);
  const std::vector<TableLocus> table = READ_TABLE(options.data, READ_TEXT_FILE(options.data));
  base.loci_read = static_cast<long long>(table.size());
  base.drawn_from = "the frequencies given";
  for (const TableLocus& locus : table) {
    // The program's own rule, so that what passes here also reads back.
    const double sum = FREQUENCY_SUM(locus.frequencies);
    if (!FREQUENCY_SUM_PASSES(sum)) {
      throw InitError(options.data + ": the frequencies of locus " + locus.name + " sum to " +
                      PRINTED("%.12g", sum) + "; they must sum to 1 within " +
                      PRINTED("%.6f", static_cast<double>(FREQUENCY_SUM_TOLERANCE)));
    }
    if (locus.alleles.size() < 2) {
      if (base.left_out.size() < LEFT_OUT_SHOWN) base.left_out.push_back({locus.name, "monomorphic"});
      ++base.left_out_count;
      continue;
    }
    BaseLocus kept;
    kept.name = locus.name;
    kept.alleles = locus.alleles;
    kept.counts.assign(locus.alleles.size(), 1);
    kept.given = locus.frequencies;
    base.loci.push_back(std::move(kept));
  }
  base.informative = static_cast<long long>(base.loci.size());
  if (options.max_loci) SELECT_LOCI(base, *options.max_loci, options.seed);
  GenotypeData data;
  data.source = options.data;
  data.format = FREQUENCY_TABLE;
  return data;
}

std::string FREQUENCY_TABLE_SUMMARY(const GenotypeData& data, const BasePopulation& base) {
  return "korvel-init: " + data.source + " (frequency table): " + PLURAL(base.loci_read, "locus", "loci") +
         ", " + std::to_string(base.informative) + " polymorphic";
}

}  // namespace korvel::init
