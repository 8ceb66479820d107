// The built programs that end-to-end tests run, for the profile the test
// executable was built with.
#pragma once

#include <string>

namespace korvel::testing {

#ifdef KORVEL_MANY_LOCI
inline const std::string SEEDED_PROGRAM = KORVEL_ML_SEEDED;
inline const std::string DELIVERABLE_PROGRAM = KORVEL_ML_PROGRAM;
#else
inline const std::string SEEDED_PROGRAM = KORVEL_SEEDED;
inline const std::string DELIVERABLE_PROGRAM = KORVEL_PROGRAM;
#endif

}  // namespace korvel::testing
