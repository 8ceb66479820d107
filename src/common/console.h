// The console: standard output, one line at a time, lines ending in LF.
// Screen clearing and the audible alert are only given on a terminal, so
// that the console text a script or a test captures holds nothing else.
#pragma once

#include <string_view>

namespace korvel {

void CONSOLE_LINE(std::string_view text);
void CONSOLE_EMPTY_LINES(int count);
void CLEAR_SCREEN();
// Audible alert (800 Hz asked for), a pause of 500 ms, and silence.
void ALERT_TONE();
// Waits for the Enter key: reads one line of standard input and discards it.
// At the end of standard input (batch jobs, CI) it returns at once.
void WAIT_FOR_ENTER();

}  // namespace korvel
