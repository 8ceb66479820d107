// The tools' shared command-line conventions on top of CLI11.
#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "common/korvel_version.h"
#include "input/run_settings.h"

namespace korvel::tools {

namespace {

std::string in_quotes(const std::string& text) { return "\"" + text + "\""; }

// What is wrong with a text, as the end of a sentence whose subject is the
// option ("takes ..., not "x""); empty when nothing is.
std::string whole_fault(const std::string& text, long long low, long long high) {
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || *end != '\0' ||
      errno == ERANGE || value < low || value > high) {
    return "takes a whole number from " + std::to_string(low) + " to " + std::to_string(high) + ", not " +
           in_quotes(text);
  }
  return {};
}

// The items of a list, or the fault of the list.
std::string list_fault(const std::string& list, std::vector<std::string>& items) {
  items.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (item.empty()) return "has an empty item in " + in_quotes(list);
    items.push_back(item);
    if (comma == std::string::npos) return {};
    start = comma + 1;
  }
}

bool read_real(const std::string& text, long double& value) {
  errno = 0;
  char* end = nullptr;
  value = std::strtold(text.c_str(), &end);
  return !text.empty() && *end == '\0' && errno != ERANGE && std::isfinite(value);
}

// An item's fault said of the whole list: which item, in which list.
std::string in_list(const std::string& fault, const std::string& item, const std::string& list) {
  return fault.empty() || item == list ? fault : fault + " in " + in_quotes(list);
}

bool takes_value(const CLI::Option& option) { return option.get_items_expected_max() > 0; }

// Each option's value is the next argument whatever it looks like, as it
// always was for these tools ("--sbatch-arg --mem=4G", "--title -x-"):
// such pairs are joined into one argument before CLI11 reads them. A flag
// with a value and an option without one are refused here, with the
// option's name.
std::vector<std::string> joined_values(CLI::App& app, const std::vector<std::string>& args) {
  std::vector<std::string> joined;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool long_name = arg.rfind("--", 0) == 0 && arg.size() > 2;
    const std::size_t equals = long_name ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const CLI::Option* option = arg.size() > 1 && arg[0] == '-' && arg != "--" ? app.get_option_no_throw(name)
                                                                               : nullptr;
    if (option == nullptr) {
      joined.push_back(arg);
    } else if (!takes_value(*option)) {
      if (equals != std::string::npos) throw UsageError(name + " takes no value");
      joined.push_back(arg);
    } else if (equals != std::string::npos) {
      if (equals + 1 == arg.size()) throw UsageError(name + " needs a value");
      joined.push_back(arg);
    } else if (i + 1 >= args.size() || args[i + 1].empty()) {
      throw UsageError(name + " needs a value");
    } else if (long_name) {
      joined.push_back(arg + "=" + args[++i]);
    } else {
      joined.push_back(arg + args[++i]);  // -oFILE
    }
  }
  return joined;
}

// CLI11's report of a value a validator refused is "--name: takes ...";
// without the colon it reads as the tools' other messages do.
std::string sentence(const CLI::ParseError& error) {
  std::string text = error.what();
  const std::size_t colon = text.find(": ");
  if (colon != std::string::npos && text[0] == '-' && text.find(' ') > colon) text.erase(colon, 1);
  return text;
}

}  // namespace

CommandLine::CommandLine(const ToolText& tool) : app_(tool.help, tool.name) {
  app_.set_help_flag("-h,--help");
  app_.set_version_flag("--version");
  // Operands and unknown options are the tool's to judge, in its words.
  app_.allow_extras();
  app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
}

CLI::Option* CommandLine::once(CLI::Option* option) {
  once_.push_back(option);
  return option;
}

void CommandLine::parse(const std::vector<std::string>& args) {
  std::vector<std::string> reversed = joined_values(app_, args);
  std::reverse(reversed.begin(), reversed.end());  // CLI11 takes them last first
  try {
    app_.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    help_ = true;
    return;
  } catch (const CLI::CallForVersion&) {
    version_ = true;
    return;
  } catch (const CLI::ParseError& error) {
    throw UsageError(sentence(error));
  }
  for (const std::string& extra : app_.remaining()) {
    if (extra.size() > 1 && extra[0] == '-')
      throw UsageError("unknown option " + extra.substr(0, extra.find('=')));
    operands_.push_back(extra);
  }
  std::map<const CLI::Option*, std::size_t> seen;
  for (const CLI::Option* option : app_.parse_order()) {
    const std::size_t occurrence = seen[option]++;
    if (occurrence == 1 && std::find(once_.begin(), once_.end(), option) != once_.end())
      throw UsageError(option->get_name() + " is given twice");
    given_.emplace_back(option, takes_value(*option) ? option->results().at(occurrence) : std::string());
  }
}

std::vector<std::string> SPLIT_LIST(const std::string& list, const std::string& option) {
  std::vector<std::string> items;
  const std::string fault = list_fault(list, items);
  if (!fault.empty()) throw UsageError(option + " " + fault);
  return items;
}

long long PARSE_WHOLE(const std::string& text, const std::string& what, long long low, long long high) {
  const std::string fault = whole_fault(text, low, high);
  if (!fault.empty()) throw UsageError(what + " " + fault);
  return std::strtoll(text.c_str(), nullptr, 10);
}

long double PARSE_REAL(const std::string& text, const std::string& what) {
  long double value = 0;
  if (!read_real(text, value)) throw UsageError(what + " takes a number, not " + in_quotes(text));
  return value;
}

CLI::Validator WHOLE_NUMBER(long long low, long long high) {
  return CLI::Validator([=](std::string& text) { return whole_fault(text, low, high); }, "N");
}

CLI::Validator REAL_NUMBER(std::function<bool(long double)> fits, const std::string& range) {
  return CLI::Validator(
      [=](std::string& text) {
        long double value = 0;
        return read_real(text, value) && fits(value) ? std::string()
                                                     : "takes a number " + range + ", not " + in_quotes(text);
      },
      "X");
}

CLI::Validator SEED() {
  return CLI::Validator(
      [](std::string& text) {
        return PARSE_SEED_TEXT(text) ? std::string()
                                     : "takes a whole number from 0 to 4294967295, not " + in_quotes(text);
      },
      "S");
}

CLI::Validator WORD(const std::vector<std::string>& words, const std::string& says) {
  return CLI::Validator(
      [=](std::string& text) {
        return std::find(words.begin(), words.end(), text) != words.end()
                   ? std::string()
                   : "takes " + says + ", not " + in_quotes(text);
      },
      "WORD");
}

CLI::Validator EACH(const CLI::Validator& item) {
  return CLI::Validator(
      [item](std::string& list) {
        std::vector<std::string> items;
        std::string fault = list_fault(list, items);
        for (std::size_t i = 0; i < items.size() && fault.empty(); ++i)
          fault = in_list(item(items[i]), items[i], list);
        return fault;
      },
      "LIST");
}

int PRINT_HELP(const ToolText& tool) {
  std::printf("%s\n%s", tool.usage, tool.help);
  return 0;
}

int PRINT_VERSION(const ToolText& tool) {
  std::printf("%s %s\n", tool.name, KORVEL_VERSION);
  return 0;
}

int RUN_TOOL(const ToolText& tool, const std::vector<std::string>& args, const ToolBody& body) {
  try {
    return body(args);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "%s: %s\n%s", tool.name, error.what(), tool.usage);
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: %s\n", tool.name, error.what());
    return 1;
  }
}

int RUN_TOOL(const ToolText& tool, int argc, char** argv, const ToolBody& body) {
  return RUN_TOOL(tool, std::vector<std::string>(argv + 1, argv + argc), body);
}

}  // namespace korvel::tools
