// The private scratch folder a fuzz target writes its inputs in: under
// /dev/shm where there is one, removed when libFuzzer ends (with exit()).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzz {

inline std::string& SCRATCH_FOLDER() {
  static std::string folder;
  return folder;
}

// Makes the folder, named after `target`, and returns its path; aborts the
// fuzzer when it cannot.
inline const std::string& MAKE_SCRATCH_FOLDER(const char* target) {
  std::string folder = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  folder += std::string("/") + target + "-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) std::abort();
  SCRATCH_FOLDER() = folder;
  std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(SCRATCH_FOLDER(), ignored);
  });
  return SCRATCH_FOLDER();
}

}  // namespace fuzz
