// korvel-sweep's entry point: the command line decides between help, the
// version, --collect, a grid and the search; exceptions become messages and
// exit statuses.
#include <cstdio>

#include "common/korvel_version.h"
#include "sweep_command.h"

namespace korvel::sweep {

int SWEEP_MAIN(const std::vector<std::string>& args) {
  try {
    const command::Options options = command::parse_options(args);
    if (options.help) {
      std::printf("%s\n%s", command::USAGE, command::HELP);
      return 0;
    }
    if (options.version) {
      std::printf("korvel-sweep %s\n", KORVEL_VERSION);
      return 0;
    }
    if (!options.collect.empty()) return command::collect(options);
    return options.find.empty() ? command::sweep(options) : command::search(options);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n%s", error.what(), command::USAGE);
    return 2;
  } catch (const SweepError& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n", error.what());
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "korvel-sweep: %s\n", error.what());
    return 1;
  }
}

}  // namespace korvel::sweep
