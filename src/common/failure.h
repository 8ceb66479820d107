// How the program ends when something goes wrong.
//
// Three kinds of end, each with its own exit status:
//  - a runtime error (a failed file operation or an unreadable number):
//    "Runtime error N: <what and where>", exit status N;
//  - the program's own input stops (capacity, frequency sum, exact-test
//    table): their console texts are written by the caller, then exit 1;
//  - input that the later steps cannot use: one clear line naming the file,
//    line, quantity and allowed range, then exit 1.
// None of them waits for a key.
#pragma once

#include <string>
#include <string_view>

namespace korvel {

enum RuntimeErrorCode : int {
  FILE_NOT_FOUND = 2,
  PATH_NOT_FOUND = 3,
  FILE_ACCESS_DENIED = 5,
  DISK_WRITE_ERROR = 101,
  FILE_NOT_OPEN = 103,
  FILE_NOT_OPEN_FOR_INPUT = 104,
  INVALID_NUMERIC_FORMAT = 106,
};

inline constexpr int STOP_EXIT_STATUS = 1;

[[noreturn]] void RUNTIME_ERROR(int code, std::string_view detail);

// Runtime error for a failed open/create/delete, numbered from errno.
[[noreturn]] void FILE_ERROR(std::string_view file, std::string_view action, int error_number);

[[noreturn]] void INPUT_REJECTED(std::string_view message);

[[noreturn]] void PROGRAM_STOP();

// How the program ends with a status. The program exits; a harness that
// runs a procedure many times in one process (the input fuzzer) installs a
// handler that throws instead. A handler must not return.
using END_HANDLER = void (*)(int status);
void SET_END_HANDLER(END_HANDLER handler);

// Pieces of the ends above, for faults that are reported later than they
// are found (the input library throws them to its caller): the console line
// of a runtime error, the runtime-error number of a failed file operation,
// and the end itself, after the caller has written its text.
std::string RUNTIME_ERROR_LINE(int code, std::string_view detail);
int FILE_ERROR_CODE(int error_number);
std::string FILE_ERROR_DETAIL(std::string_view file, std::string_view action, int error_number);
[[noreturn]] void PROGRAM_END(int status);

// A gate that all console output passes first, and so does the end of the
// program: the run driver, while it holds console text back to run exact
// tests in parallel, sets one that puts out first what comes first. Not
// entered again while it is being passed.
using CONSOLE_GATE = void (*)();
void SET_CONSOLE_GATE(CONSOLE_GATE gate);
void PASS_CONSOLE_GATE();

}  // namespace korvel
