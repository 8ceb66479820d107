// An output text file bound to one name for its whole life (OUT1..OUT10).
// Lines end with CR LF. Every create, write, flush, close and delete is
// checked; a failure ends the program with a runtime error that names the
// file and the system's reason.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "common/number_types.h"

namespace korvel {

class TextOut {
 public:
  TextOut() = default;
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;
  ~TextOut();

  // Creates the file anew in the working directory (replacing any file of
  // that name) and binds this variable to it.
  void CREATE(std::string_view name);
  void CLOSE();
  bool IS_OPEN() const { return file_ != nullptr; }
  const std::string& NAME() const { return name_; }

  TextOut& INT(long long value, int width = 0);
  TextOut& REAL(EXTENDED value, int width, int decimals);
  TextOut& TEXT(std::string_view text, int width = 0);
  TextOut& BLANKS(int count);
  TextOut& END_LINE();
  // Pushes buffered text to the file (checked).
  void FLUSH();

  // While `held` is set, what is written goes to *held instead of the file
  // (nullptr ends it). WRITE_HELD_LINES puts such text into the file later,
  // line by line, exactly as if it were written then: the parallel run
  // driver holds lines back so that they reach the file in program order.
  void HOLD_LINES(std::string* held) { held_ = held; }
  void WRITE_HELD_LINES(std::string_view lines);

 private:
  void require_open() const;
  void write_buffer();
  std::string& target() { return held_ != nullptr ? *held_ : buffer_; }

  std::FILE* file_ = nullptr;
  std::string name_;
  std::string buffer_;
  std::string* held_ = nullptr;
};

// Deletes a file of the working directory; a failure is a runtime error.
void DELETE_FILE(std::string_view name);

}  // namespace korvel
