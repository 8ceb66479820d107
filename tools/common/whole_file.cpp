#include "whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace korvel::tools {

namespace {

namespace fs = std::filesystem;

// Scratch names tried before giving up: another name is only needed when an
// earlier process of the same id left its scratch file behind.
constexpr int SCRATCH_ATTEMPTS = 100;

[[noreturn]] void fail(const std::string& what, const std::string& path, int error) {
  throw FileError(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

bool READ_WHOLE_FILE(const std::string& path, std::string& content) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream buffer;
  buffer << file.rdbuf();
  if (file.bad()) return false;
  content = buffer.str();
  return true;
}

void WRITE_WHOLE_FILE(const std::string& path, const std::string& content) {
  ScratchFile scratch(path);
  scratch.write(content);
  scratch.place();
}

void REMOVE_LEFT_SCRATCH_FILES(const std::string& folder) {
  std::error_code ec;
  std::vector<fs::path> left;
  for (fs::recursive_directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
    const std::string name = entry->path().filename().string();
    if (name.starts_with('.') && name.find(".partial-") != std::string::npos && entry->is_regular_file(ec))
      left.push_back(entry->path());
  }
  for (const fs::path& path : left) fs::remove(path, ec);
}

ScratchFile::ScratchFile(const std::string& destination) : destination_(destination) {
  const fs::path target(destination);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  for (int attempt = 0; attempt < SCRATCH_ATTEMPTS && descriptor_ < 0; ++attempt) {
    // Built by appending: GCC 12 misjudges a chain of operator+ here
    // (-Wrestrict in an optimised build).
    std::string name = ".";
    name += target.filename().string();
    name += ".partial-";
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(attempt);
    path_ = (folder / name).string();
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (descriptor_ < 0 && errno != EEXIST) break;
  }
  if (descriptor_ < 0) fail("cannot create a file beside", destination, errno);
}

ScratchFile::~ScratchFile() {
  if (descriptor_ >= 0) ::close(descriptor_);
  if (!placed_) ::unlink(path_.c_str());
}

void ScratchFile::write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(descriptor_, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    // A write of nothing is a full disk that gave no reason.
    if (written <= 0) fail("cannot write", destination_, written < 0 ? errno : ENOSPC);
    done += static_cast<std::size_t>(written);
  }
  // On the disk before the rename makes it the file: a crash of the
  // machine after the rename must not leave an empty file in its place.
  if (::fsync(descriptor_) != 0 && errno != EINVAL) fail("cannot write", destination_, errno);
  const int status = ::close(descriptor_);
  descriptor_ = -1;
  if (status != 0) fail("cannot write", destination_, errno);
}

bool ScratchFile::place(bool replace) {
  if (!replace) {
    if (::link(path_.c_str(), destination_.c_str()) == 0)
      return true;  // the scratch name goes in the destructor
    if (errno == EEXIST) return false;
    // A file system without hard links: check, then rename.
    std::error_code ec;
    if (fs::exists(destination_, ec)) return false;
  }
  if (::rename(path_.c_str(), destination_.c_str()) != 0) fail("cannot write", destination_, errno);
  placed_ = true;
  return true;
}

}  // namespace korvel::tools
