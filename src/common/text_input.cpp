#include "common/text_input.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "common/failure.h"

namespace korvel {

namespace {

bool is_separator(char c) { return static_cast<unsigned char>(c) <= 32; }

bool same_name_any_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// The name under which the file exists in the working directory: the exact
// name if present, else the first (in name order) that differs only in case.
std::string find_any_case(const std::string& name) {
  std::error_code ec;
  if (std::filesystem::exists(name, ec)) return name;
  std::string best;
  for (const auto& entry : std::filesystem::directory_iterator(".", ec)) {
    const std::string candidate = entry.path().filename().string();
    if (same_name_any_case(candidate, name) && (best.empty() || candidate < best)) best = candidate;
  }
  return best.empty() ? name : best;
}

bool all_digits(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

bool PARSE_INTEGER_TOKEN(std::string_view token, long long& value) {
  std::string_view digits = token;
  bool negative = false;
  if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
    negative = digits[0] == '-';
    digits.remove_prefix(1);
  }
  if (!all_digits(digits)) return false;
  // Saturate far beyond any type's range; the caller checks the range.
  long long magnitude = 0;
  for (char c : digits) {
    if (magnitude < 1'000'000'000'000LL) magnitude = magnitude * 10 + (c - '0');
  }
  value = negative ? -magnitude : magnitude;
  return true;
}

bool PARSE_REAL_TOKEN(std::string_view token, double& value) {
  // Decimal notation only: [sign] digits [. digits] [e [sign] digits], with
  // at least one digit in the mantissa.
  std::size_t i = 0;
  const std::size_t n = token.size();
  if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
  std::size_t mantissa_digits = 0;
  while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++mantissa_digits;
  if (i < n && token[i] == '.') {
    ++i;
    while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++mantissa_digits;
  }
  if (mantissa_digits == 0) return false;
  if (i < n && (token[i] == 'e' || token[i] == 'E')) {
    ++i;
    if (i < n && (token[i] == '+' || token[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < n && token[i] >= '0' && token[i] <= '9') ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (i != n) return false;
  const std::string copy(token);
  errno = 0;
  char* end = nullptr;
  // strtod rounds the decimal text once, directly to the nearest double.
  const double parsed = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return false;
  if (errno == ERANGE && std::isinf(parsed)) return false;
  value = parsed;
  return true;
}

void TextIn::fail(const INPUT_FAULT& fault) const {
  if (throw_faults_) throw fault;
  END_WITH_FAULT(fault);
}

void TextIn::file_fault(const std::string& path, std::string_view action, int error_number) const {
  const int code = FILE_ERROR_CODE(error_number);
  const std::string detail = FILE_ERROR_DETAIL(path, action, error_number);
  const std::string what = "cannot " + std::string(action) + ": " + std::strerror(error_number);
  fail(INPUT_FAULT(INPUT_FAULT::FILE_FAULT, path, 0, what, RUNTIME_ERROR_LINE(code, detail), code));
}

void TextIn::OPEN(std::string_view name, bool any_letter_case) {
  std::string path(name);
  if (any_letter_case) path = find_any_case(path);
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) file_fault(path, "open", errno);
  std::string content;
  char buffer[1 << 14];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
  const bool failed = std::ferror(file) != 0;
  const int read_errno = errno;
  std::fclose(file);
  if (failed) file_fault(path, "read", read_errno != 0 ? read_errno : EIO);
  OPEN_TEXT(path, std::move(content));
}

void TextIn::OPEN_TEXT(std::string_view name, std::string text) {
  name_ = std::string(name);
  text_ = std::move(text);
  pos_ = 0;
  line_ = 1;
  last_line_ = 0;
  open_ = true;
}

void TextIn::CLOSE() {
  open_ = false;
  text_.clear();
  pos_ = 0;
}

std::string_view TextIn::next_token(std::string_view quantity) {
  if (!open_) RUNTIME_ERROR(FILE_NOT_OPEN_FOR_INPUT, "read from " + name_ + " that is not open");
  while (pos_ < text_.size() && is_separator(text_[pos_])) {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
  if (pos_ >= text_.size()) {
    const std::string what = "the file ends before " + std::string(quantity) + " was read";
    fail(INPUT_FAULT(INPUT_FAULT::FILE_ENDS, name_, line_, what,
                     name_ + " line " + std::to_string(line_) + ": " + what + "\n", STOP_EXIT_STATUS));
  }
  const std::size_t start = pos_;
  while (pos_ < text_.size() && !is_separator(text_[pos_])) ++pos_;
  last_line_ = line_;
  last_offset_ = start;
  last_length_ = pos_ - start;
  return std::string_view(text_).substr(start, pos_ - start);
}

void TextIn::invalid_number(std::string_view token, std::string_view quantity) const {
  const std::string what = "\"" + std::string(token) + "\" where " + std::string(quantity) + " was expected";
  const std::string detail = "invalid numeric format in " + name_ + " line " + std::to_string(last_line_) +
                             ": " + what;
  const std::string summary = "\"" + std::string(token) + "\" is not a number; " + std::string(quantity) +
                              " was expected";
  fail(INPUT_FAULT(INPUT_FAULT::INVALID_NUMBER, name_, last_line_, summary,
                   RUNTIME_ERROR_LINE(INVALID_NUMERIC_FORMAT, detail), INVALID_NUMERIC_FORMAT));
}

long long TextIn::READ_INTEGER(std::string_view quantity, long long low, long long high) {
  const std::string_view token = next_token(quantity);
  long long value = 0;
  if (!PARSE_INTEGER_TOKEN(token, value)) invalid_number(token, quantity);
  if (value < low || value > high) {
    const std::string what = std::string(quantity) + " is " + std::string(token) + ", outside the range " +
                             std::to_string(low) + ".." + std::to_string(high) + " of its type";
    fail(INPUT_FAULT(INPUT_FAULT::OUT_OF_RANGE, name_, last_line_, what,
                     name_ + " line " + std::to_string(last_line_) + ": " + what + "\n", STOP_EXIT_STATUS));
  }
  return value;
}

INT16 TextIn::READ_INT16(std::string_view quantity) {
  return static_cast<INT16>(
      READ_INTEGER(quantity, std::numeric_limits<INT16>::min(), std::numeric_limits<INT16>::max()));
}

INT32 TextIn::READ_INT32(std::string_view quantity) {
  return static_cast<INT32>(
      READ_INTEGER(quantity, std::numeric_limits<INT32>::min(), std::numeric_limits<INT32>::max()));
}

double TextIn::READ_REAL(std::string_view quantity) {
  const std::string_view token = next_token(quantity);
  double value = 0;
  if (!PARSE_REAL_TOKEN(token, value)) invalid_number(token, quantity);
  return value;
}

std::string TextIn::READ_LINE_TEXT(std::size_t max_chars) {
  if (!open_) RUNTIME_ERROR(FILE_NOT_OPEN_FOR_INPUT, "read from " + name_ + " that is not open");
  std::size_t end = text_.find('\n', pos_);
  if (end == std::string::npos) end = text_.size();
  std::size_t content_end = end;
  if (content_end > pos_ && text_[content_end - 1] == '\r') --content_end;
  std::string line = text_.substr(pos_, std::min(max_chars, content_end - pos_));
  pos_ = end;
  if (pos_ < text_.size()) {
    ++pos_;
    ++line_;
  }
  return line;
}

void TextIn::SKIP_LINE() {
  if (!open_) RUNTIME_ERROR(FILE_NOT_OPEN_FOR_INPUT, "read from " + name_ + " that is not open");
  const std::size_t end = text_.find('\n', pos_);
  if (end == std::string::npos) {
    pos_ = text_.size();
  } else {
    pos_ = end + 1;
    ++line_;
  }
}

}  // namespace korvel
