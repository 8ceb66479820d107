#include "whole_file.h"

#include <fstream>
#include <sstream>

namespace korvel::tools {

bool READ_WHOLE_FILE(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  if (file.bad()) return false;
  content = buffer.str();
  return true;
}

bool WRITE_WHOLE_FILE(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  file.close();
  return static_cast<bool>(file);
}

}  // namespace korvel::tools
