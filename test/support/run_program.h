// Runs one of the built programs as a child process in a given folder, with
// the given standard input, and collects its console text and how it ended.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace korvel::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when it did not exit normally
  int signal = 0;        // the signal that ended it, if any
  std::string console;   // everything written on standard output
  std::string errors;    // everything written on standard error
};

// What decides whether the child may write a file. Root passes over
// permission bits; with PERMISSION_BITS_HOLD a child of root runs without
// that override, as an ordinary user would. When the override cannot be
// given up the child does not start: it exits with CANNOT_DROP_OVERRIDE.
enum class FileAccess { AS_GIVEN, PERMISSION_BITS_HOLD };
inline constexpr int CANNOT_DROP_OVERRIDE = 125;

ProgramResult RUN_PROGRAM(const std::string& program, const std::vector<std::string>& arguments,
                          const std::filesystem::path& folder, const std::string& input = "",
                          FileAccess access = FileAccess::AS_GIVEN);

// Every file of a folder with its content, in name order.
std::vector<std::pair<std::string, std::string>> FOLDER_CONTENTS(const std::filesystem::path& folder);

// The console text without the elapsed-time line, which depends on the clock.
std::string WITHOUT_ELAPSED_TIME(const std::string& console);

}  // namespace korvel::testing
