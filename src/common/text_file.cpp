#include "common/text_file.h"

#include <cerrno>
#include <cstdio>

#include "common/failure.h"
#include "common/text_format.h"

namespace korvel {

namespace {
constexpr std::size_t FLUSH_THRESHOLD = 1 << 16;
}

TextOut::~TextOut() {
  // Only reached with the file still open when the program ends early on
  // a fatal error: keep the lines already made, unchecked, and close.
  if (file_ == nullptr) return;
  if (!buffer_.empty()) std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  std::fclose(file_);
}

void TextOut::CREATE(std::string_view name) {
  if (file_ != nullptr) CLOSE();
  name_ = std::string(name);
  buffer_.clear();
  errno = 0;
  file_ = std::fopen(name_.c_str(), "wb");
  if (file_ == nullptr) FILE_ERROR(name_, "create", errno);
}

void TextOut::require_open() const {
  if (file_ == nullptr)
    RUNTIME_ERROR(FILE_NOT_OPEN,
                  "write to " + (name_.empty() ? std::string("a file") : name_) + " that is not open");
}

void TextOut::write_buffer() {
  if (buffer_.empty()) return;
  errno = 0;
  const std::size_t written = std::fwrite(buffer_.data(), 1, buffer_.size(), file_);
  if (written != buffer_.size()) FILE_ERROR(name_, "write to", errno != 0 ? errno : EIO);
  buffer_.clear();
}

void TextOut::FLUSH() {
  require_open();
  write_buffer();
  errno = 0;
  if (std::fflush(file_) != 0) FILE_ERROR(name_, "write to", errno != 0 ? errno : EIO);
}

void TextOut::CLOSE() {
  require_open();
  FLUSH();
  std::FILE* file = file_;
  file_ = nullptr;
  errno = 0;
  if (std::fclose(file) != 0) FILE_ERROR(name_, "close", errno != 0 ? errno : EIO);
}

TextOut& TextOut::INT(long long value, int width) {
  require_open();
  APPEND_INT(target(), value, width);
  return *this;
}

TextOut& TextOut::REAL(EXTENDED value, int width, int decimals) {
  require_open();
  APPEND_REAL(target(), value, width, decimals);
  return *this;
}

TextOut& TextOut::TEXT(std::string_view text, int width) {
  require_open();
  APPEND_TEXT(target(), text, width);
  return *this;
}

TextOut& TextOut::BLANKS(int count) {
  require_open();
  APPEND_BLANKS(target(), count);
  return *this;
}

TextOut& TextOut::END_LINE() {
  require_open();
  target() += "\r\n";
  if (held_ == nullptr && buffer_.size() >= FLUSH_THRESHOLD) write_buffer();
  return *this;
}

void TextOut::WRITE_HELD_LINES(std::string_view lines) {
  require_open();
  while (!lines.empty()) {
    const std::size_t end = lines.find("\r\n");
    const std::size_t length = end == std::string_view::npos ? lines.size() : end + 2;
    buffer_.append(lines.substr(0, length));
    if (end != std::string_view::npos && buffer_.size() >= FLUSH_THRESHOLD) write_buffer();
    lines.remove_prefix(length);
  }
}

void DELETE_FILE(std::string_view name) {
  const std::string path(name);
  errno = 0;
  if (std::remove(path.c_str()) != 0) FILE_ERROR(path, "delete", errno);
}

}  // namespace korvel
