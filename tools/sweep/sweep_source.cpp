// The template a sweep works from: a KORVEL.IN as given, or the one
// korvel-init's own code makes from a Genepop, VCF or BCF file.
#include <cstdio>

#include "sweep_command.h"
#ifdef KORVEL_SWEEP_READS_DATA
#include "init.h"
#endif

namespace korvel::sweep::command {

namespace {

#ifdef KORVEL_SWEEP_READS_DATA
// korvel-init's design lines describe the one simulation it would run; in a
// sweep the F'st (or generations) and the sample sizes or loci are the
// sweep's, so its own expected F'st gives way to them.
std::string sweep_design(const std::string& line, const Options& options) {
  if (line.find("expected F'st:") == std::string::npos) return line + "\n";
  std::string text = "  the sweep: ";
  if (!options.find.empty()) {
    text += "--find " + options.find + " at F'st " + options.fst_list + " over " +
            (options.range.empty() ? std::string("the default range") : options.range);
  } else {
    text += options.generations_list.empty() ? "F'st " + options.fst_list
                                             : "generations " + options.generations_list;
    if (!options.sample_sizes_list.empty()) text += ", sample sizes " + options.sample_sizes_list;
    if (!options.loci_list.empty()) text += ", loci " + options.loci_list;
  }
  return text + " (each point sets its own; the design above is the template's)\n";
}

Source from_data(const Options& options, const fs::path& dir) {
  std::vector<std::string> args = options.data_args;
  if (options.ne) {
    args.push_back("--ne");
    args.push_back(std::to_string(*options.ne));
  }
  if (options.runs) {
    args.push_back("--runs");
    args.push_back(std::to_string(*options.runs));
  }
  args.push_back(options.template_path);
  init::InitOptions init_options = init::PARSE_OPTIONS(args);
  init_options.output = (dir / "template.in").string();
  Source source;
  std::vector<std::string> lines;
  const init::InitResult made = init::MAKE_INPUT(init_options,
                                                 [&](const std::string& line) { lines.push_back(line); });
  for (const std::string& line : lines) source.summary += line + "\n";
  for (const std::string& line : made.design_summary) source.summary += sweep_design(line, options);
  std::fputs(source.summary.c_str(), stderr);
  source.many_loci = made.many_loci;
  source.made_text = made.text;
  // Resumed on another day, the template differs only in the date of its
  // first comment line: keep the one the finished probes were made from.
  const auto after_first_line = [](const std::string& text) {
    const std::size_t end = text.find('\n');
    return end == std::string::npos ? std::string() : text.substr(end);
  };
  std::string earlier;
  if (options.resume && READ_WHOLE_FILE((dir / "template.in").string(), earlier) &&
      after_first_line(earlier) == after_first_line(made.text)) {
    source.made_text = earlier;
  }
  source.tmpl = PARSE_TEMPLATE(init_options.output, source.made_text, made.many_loci);
  // The data's own line of the summary names the file, its populations and
  // individuals.
  // The file by its name: a path of this machine means nothing to the
  // figure's readers.
  std::string data = lines.empty() ? options.template_path : lines[0].substr(lines[0].find(": ") + 2);
  if (data.rfind(options.template_path, 0) == 0)
    data = fs::path(options.template_path).filename().string() + data.substr(options.template_path.size());
  source.data_lines.push_back("data: " + data);
  if (lines.size() > 1) source.data_lines.push_back(lines[1].substr(lines[1].find_first_not_of(' ')));
  return source;
}
#endif

}  // namespace

Source load_source(const Options& options, const fs::path& dir) {
  std::string content;
  if (!READ_WHOLE_FILE(options.template_path, content))
    throw SweepError("cannot read " + options.template_path);
  Source source;
  try {
    source.tmpl = PARSE_TEMPLATE(options.template_path, content, options.many_loci);
    source.many_loci = options.many_loci;
    if (!options.data_args.empty()) {
      throw UsageError(options.template_path + " is a KORVEL.IN template; " + options.data_args[0] +
                       " is for a data file");
    }
    return source;
  } catch (const SweepError& as_template) {
#ifdef KORVEL_SWEEP_READS_DATA
    // Not a template: data, when korvel-init's options say so or the
    // content is VCF/BCF or reads as Genepop; otherwise the template's
    // fault is the one to report.
    bool data = !options.data_args.empty();
    try {
      if (!data) data = init::DETECT_FORMAT(options.template_path) == init::DataFormat::VCF;
      if (!data) {
        init::READ_GENEPOP(options.template_path);
        data = true;
      }
    } catch (const init::InitError&) {
    }
    if (!data) throw;
    try {
      return from_data(options, dir);
    } catch (const init::InitError& error) {
      throw SweepError(error.what());
    }
#else
    (void)dir;
    throw;
#endif
  }
}

}  // namespace korvel::sweep::command
