#include "common/text_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace korvel {

namespace {

void append_right_aligned(std::string& out, const char* text, std::size_t length, int width) {
  if (width > 0 && static_cast<std::size_t>(width) > length) out.append(width - length, ' ');
  out.append(text, length);
}

// True when the formatted number has no non-zero digit ("-0.0000").
bool is_all_zero_digits(const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i)
    if (text[i] >= '1' && text[i] <= '9') return false;
  return true;
}

}  // namespace

void APPEND_INT(std::string& out, long long value, int width) {
  // to_chars writes the same digits as printf's %lld, without its format
  // parsing and locale look-ups (integers are most of the detailed files).
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  append_right_aligned(out, buffer, static_cast<std::size_t>(result.ptr - buffer), width);
}

void APPEND_REAL(std::string& out, EXTENDED value, int width, int decimals) {
  // The C library converts the extended value exactly and rounds it once to
  // the requested decimals (ties to even), which is the rounding we want.
  char small[64];
  char* buffer = small;
  std::string large;
  int length = std::snprintf(small, sizeof small, "%.*Lf", decimals, value);
  if (length >= static_cast<int>(sizeof small)) {
    large.resize(static_cast<std::size_t>(length) + 1);
    std::snprintf(large.data(), large.size(), "%.*Lf", decimals, value);
    buffer = large.data();
  }
  const char* text = buffer;
  std::size_t size = static_cast<std::size_t>(length);
  if (size > 0 && text[0] == '-' && is_all_zero_digits(text, size)) {
    ++text;
    --size;
  }
  append_right_aligned(out, text, size, width);
}

void APPEND_TEXT(std::string& out, std::string_view text, int width) {
  append_right_aligned(out, text.data(), text.size(), width);
}

void APPEND_BLANKS(std::string& out, int count) {
  if (count > 0) out.append(static_cast<std::size_t>(count), ' ');
}

std::string INT_TEXT(long long value, int width) {
  std::string out;
  APPEND_INT(out, value, width);
  return out;
}

std::string REAL_TEXT(EXTENDED value, int width, int decimals) {
  std::string out;
  APPEND_REAL(out, value, width, decimals);
  return out;
}

std::string TEXT_FIELD(std::string_view text, int width) {
  std::string out;
  APPEND_TEXT(out, text, width);
  return out;
}

}  // namespace korvel
