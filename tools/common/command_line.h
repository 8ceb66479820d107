// The command line as korvel-init and korvel-sweep read it: one CLI11 app
// per tool with the same conventions and the same validators for numbers,
// seeds and lists.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tool_main.h"

namespace korvel::tools {

// The type an option's value is converted to: T, or T of std::optional<T>.
template <typename T>
T to_value(const T&);
template <typename T>
T to_value(const std::optional<T>&);

// A tool's options in a CLI11 app. -h/--help and --version are answered
// from the tool's own texts; a flag takes no value; an option's value is
// the next argument whatever it looks like ("--sbatch-arg --mem=4G"), or
// follows '=' in --option=value; given twice, the last one counts unless
// the option is made `once` (a second use is a mistake) or takes all
// (CLI::MultiOptionPolicy::TakeAll). Operands (the data or template file)
// are left to the tool.
class CommandLine {
 public:
  explicit CommandLine(const ToolText& tool);

  CLI::App& app() { return app_; }
  // Makes a second use of the option a mistake.
  CLI::Option* once(CLI::Option* option);

  // Reads `args` (without the program's name); every mistake is a
  // UsageError that names the option and the value.
  void parse(const std::vector<std::string>& args);

  bool help() const { return help_; }
  bool version() const { return version_; }
  const std::vector<std::string>& operands() const { return operands_; }
  // The options given, in the order given, each with its value as typed
  // (empty for a flag).
  const std::vector<std::pair<const CLI::Option*, std::string>>& given() const { return given_; }

 private:
  CLI::App app_;
  bool help_ = false;
  bool version_ = false;
  std::vector<std::string> operands_;
  std::vector<const CLI::Option*> once_;
  std::vector<std::pair<const CLI::Option*, std::string>> given_;
};

// Validators for CLI11 options, by the rules and with the messages of
// PARSE_WHOLE, PARSE_REAL and SPLIT_LIST, and for seeds by the programs'
// own rule (PARSE_SEED_TEXT).
CLI::Validator WHOLE_NUMBER(long long low, long long high);
// A number for which `fits` holds; `range` says which ("above 0 and at most 1").
CLI::Validator REAL_NUMBER(std::function<bool(long double)> fits, const std::string& range);
CLI::Validator SEED();
// One of `words`; `says` lists them for the message ("genepop or vcf").
CLI::Validator WORD(const std::vector<std::string>& words, const std::string& says);
// A comma-separated list without empty items, each passing `item`.
CLI::Validator EACH(const CLI::Validator& item = {});

// An option whose whole number from low to high goes to `target` (an
// integer, or an optional one), read in decimal: CLI11's own conversion
// would read 010 as octal.
template <typename T>
CLI::Option* ADD_WHOLE(CLI::App& app, const std::string& name, T& target, long long low, long long high) {
  return app
      .add_option_function<std::string>(name,
                                        [&target](const std::string& text) {
                                          using Value = decltype(to_value(target));
                                          target = static_cast<Value>(std::stoll(text));
                                        })
      ->check(WHOLE_NUMBER(low, high));
}

}  // namespace korvel::tools
