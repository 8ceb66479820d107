// Fuzz target for the KORVEL.IN reader: any byte sequence is written as
// KORVEL.IN in a private scratch folder and read. The reader must end every
// input by returning or by one of the program's own ends (which throw here
// instead of exiting), and must never crash, hang or read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/failure.h"
#include "common/tables.h"
#include "control/input_file.h"
#include "fuzz_scratch_folder.h"

namespace {

struct ProgramEnded {
  int status;
};

void throw_instead_of_exit(int status) { throw ProgramEnded{status}; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (chdir(fuzz::MAKE_SCRATCH_FOLDER("korvel-fuzz").c_str()) != 0) std::abort();
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  korvel::SET_END_HANDLER(throw_instead_of_exit);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(korvel::INPUT_FILE_NAME, "wb");
  if (file == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
  // The reader relies on these two tables being clear; the full clearing
  // of every table at start-up would only slow the fuzzer down.
  for (auto& locus : korvel::BASEPOP) locus.fill(0.0);
  korvel::ALLELES_PER_LOCUS.fill(0);
  try {
    korvel::READ_INFILE();
  } catch (const ProgramEnded&) {
  }
  return 0;
}
