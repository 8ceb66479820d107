// Fuzz target for korvel-init's VCF/BCF path: the input after its first
// byte is written to a file in a private scratch folder (under /dev/shm
// where there is one) and read through htslib; the first byte chooses
// --pass-only and --allow-truncated, streaming into a base population, and
// the locus filters. Every input must end in the data or
// in an InitError naming the fault, never in a crash or another exception.
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_scratch_folder.h"
#include "init.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::MAKE_SCRATCH_FOLDER("korvel-vcf-fuzz");
  // The reader sends standard error to a scratch file while it reads (to
  // catch htslib's messages); a sanitizer report must reach the terminal.
  const int report = dup(STDERR_FILENO);
  if (report < 0) std::abort();
  __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(report)));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string path = fuzz::SCRATCH_FOLDER() + "/data";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 1 && std::fwrite(data + 1, 1, size - 1, file) != size - 1) std::abort();
  std::fclose(file);
  korvel::init::VcfOptions options;
  options.pass_only = (data[0] & 1) != 0;
  options.allow_truncated = (data[0] & 2) != 0;
  korvel::init::LocusFilter filter;
  if ((data[0] & 8) != 0) filter = {0.05L, 0.2L, 2};
  korvel::init::BaseBuilder builder(korvel::init::VCF_POPULATIONS(nullptr), {{}, 2, 5u, filter});
  if ((data[0] & 4) != 0) options.base = &builder;
  try {
    if (korvel::init::DETECT_FORMAT(path) == korvel::init::DataFormat::VCF) {
      korvel::init::READ_VCF(path, options);
      builder.finish();
    }
  } catch (const korvel::init::InitError&) {
  }
  return 0;
}
