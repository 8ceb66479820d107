#include "input/run_settings.h"

#include <sched.h>

#include <thread>

namespace korvel {

namespace {

bool IS_BLANK(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::optional<std::uint32_t> PARSE_SEED_TEXT(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

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

}  // namespace korvel
