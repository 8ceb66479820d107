#include "text_lines.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "init.h"
#include "whole_file.h"

namespace korvel::init {

std::vector<std::string_view> SPLIT_LINES(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string_view TRIM(std::string_view text) {
  while (!text.empty() && IS_BLANK(text.front())) text.remove_prefix(1);
  while (!text.empty() && IS_BLANK(text.back())) text.remove_suffix(1);
  return text;
}

std::string LOWER(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::vector<std::string_view> SPLIT_BLANKS(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IS_BLANK(text[i])) ++i;
    const std::size_t start = i;
    while (i < text.size() && !IS_BLANK(text[i])) ++i;
    if (i > start) fields.push_back(text.substr(start, i - start));
  }
  return fields;
}

std::string READ_TEXT_FILE(const std::string& path) {
  std::string content;
  if (!tools::READ_WHOLE_FILE(path, content))
    throw InitError("cannot read " + path + ": " + std::strerror(errno));
  return content;
}

std::string LIST(const std::vector<std::string>& items, std::size_t shown) {
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < shown; ++i) text += (i ? ", " : "") + items[i];
  if (items.size() > shown) text += ", ... (" + std::to_string(items.size() - shown) + " more)";
  return text;
}

std::string FIXED(long double value, int decimals) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*Lf", decimals, value);
  return buffer;
}

std::string PERCENT(long double share) { return FIXED(100 * share, 1) + " %"; }

std::string PLURAL(long long count, const std::string& singular, const std::string& plural) {
  return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

}  // namespace korvel::init
