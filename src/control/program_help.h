// The two questions korvel and korvel-ml answer without running: --help and
// --version, each as the only argument. Any other arguments are ignored as
// they always were, so that existing scripts keep working.
#pragma once

#include <optional>

namespace korvel {

// The exit status after answering `argument` on standard output, or nullopt
// when it is neither --help nor --version.
std::optional<int> ANSWER_HELP_OR_VERSION(const char* argument);

}  // namespace korvel
