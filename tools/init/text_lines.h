// Small text helpers the data readers share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace korvel::init {

// Lines of a text; a line ends at LF or CR LF, and a last line without a
// line end still counts.
std::vector<std::string_view> SPLIT_LINES(std::string_view text);

inline bool IS_BLANK(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view TRIM(std::string_view text);
std::string LOWER(std::string_view text);

// Fields separated by blanks and tabs.
std::vector<std::string_view> SPLIT_BLANKS(std::string_view text);

// "1 locus", "3 loci": the count and the word that goes with it.
std::string PLURAL(long long count, const std::string& singular, const std::string& plural);

// The first `shown` items separated by commas, then "... (N more)".
std::string LIST(const std::vector<std::string>& items, std::size_t shown);

// `value` with `decimals` decimals.
std::string FIXED(long double value, int decimals);

// A share as a percentage with one decimal: "12.5 %".
std::string PERCENT(long double share);

// The whole file; throws InitError naming the file when it cannot be read.
std::string READ_TEXT_FILE(const std::string& path);

}  // namespace korvel::init
