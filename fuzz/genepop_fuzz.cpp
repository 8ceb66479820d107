// Fuzz target for korvel-init's Genepop reader: any byte sequence is read
// as a Genepop file, and what it gives is pooled into a base population.
// Every input must end in the data or in an InitError naming the fault,
// never in a crash, an out-of-bounds read or another exception.
#include <cstdint>
#include <string_view>

#include "init.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const korvel::init::GenotypeData genotypes = korvel::init::READ_GENEPOP_TEXT("fuzz.gen", text);
    korvel::init::BaseBuilder builder(genotypes.populations, {{genotypes.populations.size() - 1}, 3, 7u});
    for (const korvel::init::LocusCounts& locus : genotypes.loci) builder.add(locus);
    builder.finish();
  } catch (const korvel::init::InitError&) {
  }
  return 0;
}
