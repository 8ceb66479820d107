#include "control/thread_count.h"

#include <cstdlib>
#include <string>

#include "common/failure.h"

namespace korvel {

int THREADS_TO_USE() {
  const char* setting = std::getenv(THREADS_VARIABLE);
  if (setting == nullptr) return CORES_OF_THE_PROCESS();
  const std::optional<int> count = PARSE_THREAD_COUNT(setting);
  if (!count)
    INPUT_REJECTED(std::string(THREADS_VARIABLE) + " is \"" + setting +
                   "\"; it must be a whole number of threads in 1.." + std::to_string(MAX_THREADS) +
                   " (or be left unset to use every core this process may run on)");
  return *count;
}

}  // namespace korvel
