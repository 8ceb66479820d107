// Whole files as korvel-sweep and korvel-init read and write them: bytes as
// they are, no line-end translation.
#pragma once

#include <string>

namespace korvel::tools {

// The whole file; false when it cannot be opened or read (errno says why).
bool READ_WHOLE_FILE(const std::string& path, std::string& content);

// Replaces the file with `content`; false when it cannot be written.
bool WRITE_WHOLE_FILE(const std::string& path, const std::string& content);

}  // namespace korvel::tools
