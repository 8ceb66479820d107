#include "control/control_state.h"

namespace korvel {

std::string COMMENT1;
std::string COMMENT2;
INT16 ERASE_DETAILED_OUTPUT;
WORD16 HOUR, MIN, SEC, HUND;
EXTENDED TIME1, TIME2, TIMEDIFF;

}  // namespace korvel
