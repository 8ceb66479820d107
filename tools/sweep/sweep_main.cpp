// korvel-sweep's entry point: the command line decides between help, the
// version, --collect, a grid and the search.
#include "sweep_main.h"
#include "sweep_command.h"

namespace korvel::sweep {

int SWEEP_MAIN(const std::vector<std::string>& args) {
  const command::Options options = command::parse_options(args);
  if (options.help) return tools::PRINT_HELP(TOOL);
  if (options.version) return tools::PRINT_VERSION(TOOL);
  if (!options.collect.empty()) return command::collect(options);
  return options.find.empty() ? command::sweep(options) : command::search(options);
}

}  // namespace korvel::sweep
