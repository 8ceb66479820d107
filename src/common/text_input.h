// The text input rules shared by KORVEL.IN and CONTTAB.XYZ:
//  - numbers are separated by blanks, tabs, line ends or any other character
//    of code 32 or below, and reading a number passes over line ends;
//  - a skip to the next line discards the rest of the current line;
//  - a line ends at LF or CR LF.
// The whole file is read into memory when it is opened; every number read
// knows the line it stood on, so a message can say where a fault is.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/number_types.h"

namespace korvel {

class TextIn {
 public:
  // Opens a file of the working directory for reading. With
  // any_letter_case, a file whose name differs only in letter case is
  // accepted (the exact name is preferred). A missing or unreadable file is
  // a runtime error.
  void OPEN(std::string_view name, bool any_letter_case = false);
  // Reads text that is already in memory, under a name for messages.
  void OPEN_TEXT(std::string_view name, std::string text);
  void CLOSE();

  // Reads one integer; "quantity" names it in messages. A token that is not
  // an integer is runtime error 106; a value outside [low, high] (the range
  // of its type) and the end of the file are input errors naming the line.
  long long READ_INTEGER(std::string_view quantity, long long low, long long high);
  INT16 READ_INT16(std::string_view quantity);
  INT32 READ_INT32(std::string_view quantity);
  // Reads a real, converted from its decimal text directly to the nearest
  // double. nan, inf and hexadecimal forms are not numbers here.
  double READ_REAL(std::string_view quantity);
  // Reads the rest of the current line (at most max_chars characters are
  // kept) and moves to the next line.
  std::string READ_LINE_TEXT(std::size_t max_chars);
  void SKIP_LINE();

  // Line (1-based) on which the last number read stood.
  int LAST_LINE() const { return last_line_; }
  bool AT_END() const { return pos_ >= text_.size(); }
  const std::string& NAME() const { return name_; }

 private:
  std::string_view next_token(std::string_view quantity);
  [[noreturn]] void invalid_number(std::string_view token, std::string_view quantity) const;

  std::string name_;
  std::string text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  int last_line_ = 0;
  bool open_ = false;
};

// Parsers of one token, shared by the reader and its tests.
bool PARSE_INTEGER_TOKEN(std::string_view token, long long& value);
bool PARSE_REAL_TOKEN(std::string_view token, double& value);

}  // namespace korvel
