#include "common/console.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "common/failure.h"

namespace korvel {

namespace {

bool console_is_terminal() { return ::isatty(STDOUT_FILENO) == 1; }

}  // namespace

void CONSOLE_LINE(std::string_view text) {
  PASS_CONSOLE_GATE();
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

void CONSOLE_EMPTY_LINES(int count) {
  PASS_CONSOLE_GATE();
  for (int i = 0; i < count; ++i) std::fputc('\n', stdout);
}

void CLEAR_SCREEN() {
  PASS_CONSOLE_GATE();
  if (console_is_terminal()) std::fputs("\x1b[2J\x1b[H", stdout);
}

void ALERT_TONE() {
  PASS_CONSOLE_GATE();
  if (!console_is_terminal()) return;
  std::fputc('\a', stdout);
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

void WAIT_FOR_ENTER() {
  PASS_CONSOLE_GATE();
  std::fflush(stdout);
  int c;
  do {
    c = std::fgetc(stdin);
  } while (c != EOF && c != '\n');
}

}  // namespace korvel
