// Program-wide values of the run control that no other subsystem uses.
#pragma once

#include <string>

#include "common/number_types.h"

namespace korvel {

extern std::string COMMENT1;         // first 80 characters of line 1
extern std::string COMMENT2;         // first 80 characters of line 2
extern INT16 ERASE_DETAILED_OUTPUT;  // 1 = delete the detailed files at the end

// Clock reading of TIMER, reused for the printed elapsed time.
extern WORD16 HOUR, MIN, SEC, HUND;
extern EXTENDED TIME1, TIME2, TIMEDIFF;

}  // namespace korvel
