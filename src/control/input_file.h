// READ_INFILE: reads and checks KORVEL.IN, then shows the banner.
#pragma once

namespace korvel {

inline constexpr const char* INPUT_FILE_NAME = "KORVEL.IN";
inline constexpr const char* BANNER = "KORVEL ver. 4.1;   compiled in July 2011";

void READ_INFILE();

}  // namespace korvel
