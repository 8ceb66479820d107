// READ_INFILE: reads and checks KORVEL.IN, then shows the banner.
#pragma once

#include "input/input_document.h"

namespace korvel {

inline constexpr const char* BANNER = "KORVEL ver. 4.1;   compiled in July 2011";

// Reads KORVEL.IN (any letter case) with the input library against this
// build's capacity and stores it in the program-wide tables. A fault ends
// the program with the library's console text and exit status.
void READ_INFILE();

}  // namespace korvel
