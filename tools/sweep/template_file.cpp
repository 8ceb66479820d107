// The input template, read and rewritten with the program's input library:
// the tokens replaced are exactly the ones the program reads as the number
// of loci, the effective size, the generations of drift and the sample
// sizes, wherever the user has put them (several values on a line, a group
// spread over lines, comments after the values), and every other byte is
// kept.
#include <algorithm>

#include "input/capacity_fit.h"
#include "input/input_document.h"
#include "sweep.h"

namespace korvel::sweep {

namespace {

InputFacts facts_of(const INPUT_DOCUMENT& document) {
  InputFacts facts;
  facts.loci = document.NUMBLOCI;
  facts.pops = document.NUMBPOPS;
  facts.drift_size = document.DRIFT_SIZE;
  facts.generations = document.STOP_T;
  facts.sample_sizes.assign(document.SAMPLESIZE.begin(), document.SAMPLESIZE.end());
  facts.runs = document.STOP_RUNS;
  facts.iter1 = document.ITER1;
  facts.iter2 = document.ITER2;
  facts.iter3 = document.ITER3;
  facts.chi2_on = document.RUN_CHI2 == 1;
  facts.fisher_on = document.RUN_FISHER == 1;
  facts.comment1 = document.COMMENT1;
  return facts;
}

}  // namespace

SweepTemplate PARSE_TEMPLATE(std::string_view name, std::string text, bool many_loci) {
  SweepTemplate tmpl;
  try {
    tmpl.document = READ_INPUT_TEXT(name, std::move(text),
                                    many_loci ? MANY_LOCI_CAPACITY : STANDARD_CAPACITY);
  } catch (const INPUT_FAULT& fault) {
    // A note may restate the summary with more detail: then it replaces it.
    std::string message = fault.SUMMARY();
    for (const std::string& note : fault.NOTES) {
      message = note.rfind(message, 0) == 0 ? note : message + "; " + note;
    }
    throw SweepError(message);
  }
  tmpl.facts = facts_of(tmpl.document);
  return tmpl;
}

InputFacts READ_POINT_INPUT(const std::string& path) {
  std::string content;
  if (!READ_WHOLE_FILE(path, content)) throw SweepError("no " + path);
  // A point's KORVEL.IN is read back whichever build ran it.
  try {
    return facts_of(READ_INPUT_TEXT(path, std::move(content), ANY_BUILD_CAPACITY));
  } catch (const INPUT_FAULT& fault) {
    throw SweepError(fault.SUMMARY());
  }
}

SweepTemplate READ_TEMPLATE(const std::string& path, bool many_loci) {
  std::string content;
  if (!READ_WHOLE_FILE(path, content)) throw SweepError("cannot read " + path);
  return PARSE_TEMPLATE(path, std::move(content), many_loci);
}

std::string REWRITE_TEMPLATE(const SweepTemplate& tmpl, const PointValues& values, std::string_view comment2,
                             const RunSettings& settings) {
  const INPUT_DOCUMENT& document = tmpl.document;
  std::vector<TOKEN_REPLACEMENT> edits;
  edits.push_back({document.AT.COMMENT2, std::string(comment2)});
  edits.push_back({document.AT.DRIFT_SIZE, std::to_string(values.drift_size)});
  edits.push_back({document.AT.STOP_T, std::to_string(values.generations)});
  if (values.sample_size) {
    for (const TOKEN_SPAN& size : document.AT.SAMPLESIZE)
      edits.push_back({size, std::to_string(*values.sample_size)});
  }
  if (settings.runs) edits.push_back({document.AT.STOP_RUNS, std::to_string(*settings.runs)});
  if (settings.erase) edits.push_back({document.AT.ERASE_DETAILED_OUTPUT, *settings.erase ? "1" : "0"});
  const int loci = document.NUMBLOCI;
  if (values.loci && *values.loci != loci) {
    if (*values.loci < 1 || *values.loci > loci) {
      throw UsageError(document.NAME + " has " + std::to_string(loci) + " loci; cannot take the first " +
                       std::to_string(*values.loci));
    }
    edits.push_back({document.AT.NUMBLOCI, std::to_string(*values.loci)});
    // The lines of the loci beyond k go, from the end of locus k (its line
    // end included) to the end of the last locus.
    TOKEN_SPAN rest;
    rest.OFFSET = document.LOCI[static_cast<std::size_t>(*values.loci - 1)].SPAN.END();
    rest.LENGTH = document.LOCI.back().SPAN.END() - rest.OFFSET;
    edits.push_back({rest, ""});
  }
  return REPLACE_TOKENS(document.TEXT, edits);
}

}  // namespace korvel::sweep
