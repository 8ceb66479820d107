// The folder of a study, grid or search: made ready once, by one rule.
#include <filesystem>

#include "sweep.h"
#include "whole_file.h"

namespace korvel::sweep {

std::filesystem::path OPEN_STUDY_FOLDER(const StudySettings& settings, const std::string& mode) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::absolute(settings.out).lexically_normal();
  std::error_code ec;
  if (fs::exists(dir, ec)) {
    if (!settings.force && !settings.resume) {
      throw SweepError(settings.out + " already exists; choose another --out, add --resume to continue its " +
                       mode + " or --force to start it again");
    }
    if (!fs::is_directory(dir, ec)) throw SweepError(settings.out + " exists and is not a folder");
    tools::REMOVE_LEFT_SCRATCH_FILES(dir.string());
    return dir;
  }
  fs::create_directories(dir, ec);
  if (ec) throw SweepError("cannot create " + settings.out + ": " + ec.message());
  return dir;
}

void WRITE_SOURCE_FILES(const std::filesystem::path& dir, const std::string& made_template,
                        const std::string& data_summary) {
  if (made_template.empty()) return;
  WRITE_WHOLE_FILE(dir / "template.in", made_template);
  WRITE_WHOLE_FILE(dir / "data-summary.txt", data_summary);
}

}  // namespace korvel::sweep
