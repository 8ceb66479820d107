#include "common/input_fault.h"

#include <cstdio>
#include <utility>

#include "common/console.h"
#include "common/failure.h"

namespace korvel {

namespace {

std::string PLACE_AND_WHAT(const std::string& file, int line, const std::string& what) {
  std::string text = file;
  if (line > 0) text += " line " + std::to_string(line);
  return text + ": " + what;
}

}  // namespace

INPUT_FAULT::INPUT_FAULT(KIND kind, std::string file, int line, std::string what, std::string console,
                         int exit_status, bool alert)
    : std::runtime_error(PLACE_AND_WHAT(file, line, what)),
      FAULT_KIND(kind),
      FILE(std::move(file)),
      LINE(line),
      WHAT(std::move(what)),
      CONSOLE(std::move(console)),
      EXIT_STATUS(exit_status),
      ALERT(alert) {}

std::string INPUT_FAULT::SUMMARY() const { return PLACE_AND_WHAT(FILE, LINE, WHAT); }

void END_WITH_FAULT(const INPUT_FAULT& fault) {
  if (fault.ALERT) ALERT_TONE();
  std::fwrite(fault.CONSOLE.data(), 1, fault.CONSOLE.size(), stdout);
  // The notes follow the described text, also when both go to one terminal.
  std::fflush(stdout);
  for (const std::string& note : fault.NOTES) std::fprintf(stderr, "%s\n", note.c_str());
  PROGRAM_END(fault.EXIT_STATUS);
}

}  // namespace korvel
