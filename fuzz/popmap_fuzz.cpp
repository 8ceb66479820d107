// Fuzz target for korvel-init's population-map reader: any byte sequence
// must give a map or an InitError naming the fault, and a map must be
// consistent (every sample's population one of the populations).
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "init.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const korvel::init::PopulationMap map = korvel::init::READ_POPMAP_TEXT("fuzz.popmap", text);
    for (const auto& [sample, population] : map.population_of) {
      if (population >= map.populations.size() || map.line_of.count(sample) != 1) std::abort();
    }
  } catch (const korvel::init::InitError&) {
  }
  return 0;
}
