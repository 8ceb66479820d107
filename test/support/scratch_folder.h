// A temporary working folder for tests that read or write the program's
// files: created under /dev/shm when it exists (file creation there costs
// microseconds, not milliseconds), entered on construction, left and
// removed on destruction.
#pragma once

#include <filesystem>
#include <string>

namespace korvel::testing {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

void WRITE_FILE(const std::filesystem::path& path, const std::string& content);
std::string READ_FILE(const std::filesystem::path& path);

}  // namespace korvel::testing
