#include "control/thread_count.h"

#include <sched.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "common/failure.h"

namespace korvel {

namespace {

bool IS_BLANK(char c) { return c == ' ' || c == '\t'; }

int CORES_OF_THE_PROCESS() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (::sched_getaffinity(0, sizeof cores, &cores) == 0) {
    const int count = CPU_COUNT(&cores);
    if (count > 0) return count;
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? static_cast<int>(count) : 1;
}

}  // namespace

std::optional<int> PARSE_THREAD_COUNT(const std::string& text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IS_BLANK(text[begin])) ++begin;
  while (end > begin && IS_BLANK(text[end - 1])) --end;
  if (begin == end) return std::nullopt;
  long long value = 0;
  for (std::size_t k = begin; k < end; ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
    value = value * 10 + (text[k] - '0');
    if (value > MAX_THREADS) return std::nullopt;
  }
  if (value < 1) return std::nullopt;
  return static_cast<int>(value);
}

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
