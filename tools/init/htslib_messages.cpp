// htslib's diagnostics while korvel-init reads a file: caught in a scratch
// file rather than interleaved with the summary, and given back as notes
// or as the detail of a refusal.
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "vcf_reader.h"

namespace korvel::init::vcf_file {

HtsFile OPEN_HTS(const std::string& path) {
  errno = 0;
  HtsFile file(hts_open(path.c_str(), "r"));
  if (!file) {
    throw InitError("cannot read " + path + (errno != 0 ? std::string(": ") + std::strerror(errno) : ""));
  }
  return file;
}

HtslibMessages::HtslibMessages() {
  std::fflush(stderr);
  scratch_ = std::tmpfile();
  saved_ = scratch_ != nullptr ? ::dup(STDERR_FILENO) : -1;
  if (saved_ >= 0 && ::dup2(::fileno(scratch_), STDERR_FILENO) < 0) {
    ::close(saved_);
    saved_ = -1;
  }
  hts_set_log_level(saved_ >= 0 ? HTS_LOG_WARNING : HTS_LOG_OFF);
}

HtslibMessages::~HtslibMessages() {
  restore();
  if (scratch_ != nullptr) std::fclose(scratch_);
}

void HtslibMessages::collect() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  const int descriptor = ::fileno(scratch_);
  const off_t end = ::lseek(descriptor, 0, SEEK_CUR);
  if (end <= 0) return;
  std::rewind(scratch_);
  char buffer[512];
  std::string line;
  while (std::fgets(buffer, sizeof buffer, scratch_) != nullptr) {
    line += buffer;
    if (line.back() != '\n' && !std::feof(scratch_)) continue;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.size() > 3 && line[0] == '[' && line.find("] ") != std::string::npos) {
      line.erase(0, line.find("] ") + 2);
    }
    if (!line.empty()) keep(line);
    line.clear();
  }
  std::rewind(scratch_);
  // Should emptying fail, the messages would be read again: harmless.
  [[maybe_unused]] const int emptied = ::ftruncate(descriptor, 0);
  ::lseek(descriptor, 0, SEEK_SET);
}

std::string HtslibMessages::last() {
  collect();
  return last_;
}

std::vector<std::string> HtslibMessages::all(std::size_t shown) {
  collect();
  std::vector<std::string> messages(
      kept_.begin(), kept_.begin() + static_cast<std::ptrdiff_t>(std::min(shown, kept_.size())));
  const long long others = more_ + static_cast<long long>(kept_.size() - messages.size());
  if (others > 0) messages.push_back("... and " + std::to_string(others) + " other htslib messages");
  return messages;
}

void HtslibMessages::restore() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  ::dup2(saved_, STDERR_FILENO);
  ::close(saved_);
  saved_ = -1;
  hts_set_log_level(HTS_LOG_ERROR);
}

void HtslibMessages::keep(const std::string& line) {
  last_ = line;
  if (std::find(kept_.begin(), kept_.end(), line) != kept_.end()) return;
  if (kept_.size() < KEPT) kept_.push_back(line);
  else ++more_;
}

}  // namespace korvel::init::vcf_file
