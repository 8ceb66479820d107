// korvel-sweep as a whole, for its main and for the tests that run it in
// their own process.
#pragma once

#include <string>
#include <vector>

#include "tool_main.h"

namespace korvel::sweep {

extern const tools::ToolText TOOL;

// The whole program, run through tools::RUN_TOOL; returns its exit status
// (0 all points done, 1 some point failed, 3 finished with a flagged
// answer, 130/143 stopped by a signal); what cannot be done is thrown (1),
// a mistake on the command line thrown as UsageError (2).
int SWEEP_MAIN(const std::vector<std::string>& args);

}  // namespace korvel::sweep
