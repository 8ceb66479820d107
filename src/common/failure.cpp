#include "common/failure.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace korvel {

namespace {

void exit_program(int status) { std::exit(status); }

END_HANDLER end_handler = exit_program;
CONSOLE_GATE console_gate = nullptr;
bool passing_gate = false;

[[noreturn]] void end_program(int status) {
  PASS_CONSOLE_GATE();
  std::fflush(stdout);
  end_handler(status);
  std::abort();  // a handler that returns breaks its contract
}

int code_for_errno(int error_number) {
  switch (error_number) {
    case ENOENT:
      return FILE_NOT_FOUND;
    case ENOTDIR:
      return PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return FILE_ACCESS_DENIED;
    default:
      return DISK_WRITE_ERROR;
  }
}

}  // namespace

std::string RUNTIME_ERROR_LINE(int code, std::string_view detail) {
  std::string line = "Runtime error " + std::to_string(code);
  if (!detail.empty()) {
    line += ": ";
    line += detail;
  }
  line += '\n';
  return line;
}

int FILE_ERROR_CODE(int error_number) { return code_for_errno(error_number); }

std::string FILE_ERROR_DETAIL(std::string_view file, std::string_view action, int error_number) {
  std::string detail = "cannot ";
  detail += action;
  detail += ' ';
  detail += file;
  detail += ": ";
  detail += std::strerror(error_number);
  return detail;
}

void RUNTIME_ERROR(int code, std::string_view detail) {
  PASS_CONSOLE_GATE();
  const std::string line = RUNTIME_ERROR_LINE(code, detail);
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stdout);
  end_program(code);
}

void FILE_ERROR(std::string_view file, std::string_view action, int error_number) {
  RUNTIME_ERROR(code_for_errno(error_number), FILE_ERROR_DETAIL(file, action, error_number));
}

void PROGRAM_END(int status) { end_program(status); }

void INPUT_REJECTED(std::string_view message) {
  PASS_CONSOLE_GATE();
  std::string line(message);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  end_program(STOP_EXIT_STATUS);
}

void PROGRAM_STOP() { end_program(STOP_EXIT_STATUS); }

void SET_CONSOLE_GATE(CONSOLE_GATE gate) { console_gate = gate; }

void PASS_CONSOLE_GATE() {
  if (console_gate == nullptr || passing_gate) return;
  passing_gate = true;
  struct LEAVE {
    ~LEAVE() { passing_gate = false; }
  } leave;
  console_gate();
}

void SET_END_HANDLER(END_HANDLER handler) { end_handler = handler != nullptr ? handler : exit_program; }

}  // namespace korvel
