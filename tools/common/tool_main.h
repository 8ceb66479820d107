// What korvel-init and korvel-sweep share around their command lines
// without the parser itself: the usage mistake, the tool's texts, the rules
// for numbers, seeds and lists in option values, and the wrapper that turns
// every fault into a message and an exit status, so that both tools answer
// alike. (Defined in command_line.cpp, beside the CLI11 layer.)
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace korvel::tools {

// A mistake on the command line: the message, the usage and exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a tool says about itself.
struct ToolText {
  const char* name;   // "korvel-init"
  const char* usage;  // the usage lines, each ending in a newline
  const char* help;   // what --help prints after the usage
};

// The items of a comma-separated list, blanks around each removed; an empty
// item is a UsageError naming `option`.
std::vector<std::string> SPLIT_LIST(const std::string& list, const std::string& option);
// A whole number in decimal digits from low to high; else a UsageError
// "<what> takes a whole number from LOW to HIGH, not "TEXT"".
long long PARSE_WHOLE(const std::string& text, const std::string& what, long long low, long long high);
// A finite decimal number; else a UsageError naming `what` and the text.
long double PARSE_REAL(const std::string& text, const std::string& what);

// --help and --version: the tool's texts on standard output; exit status 0.
int PRINT_HELP(const ToolText& tool);
int PRINT_VERSION(const ToolText& tool);

// Runs a tool's body and turns what it throws into a message on standard
// error and an exit status: a UsageError is "NAME: what" and the usage
// (2), anything else "NAME: what" (1). The body's own status is returned
// as it is.
using ToolBody = std::function<int(const std::vector<std::string>& args)>;
int RUN_TOOL(const ToolText& tool, const std::vector<std::string>& args, const ToolBody& body);
int RUN_TOOL(const ToolText& tool, int argc, char** argv, const ToolBody& body);

}  // namespace korvel::tools
