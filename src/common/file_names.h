// Names of the files the program writes in its working folder. Tools that
// read or clear a run's folder use the same names.
#pragma once

namespace korvel {

inline constexpr const char* SUMMARY_FILE_NAME = "KORVEL.OUT";
inline constexpr const char* FST_FILE_NAME = "FST.OUT";
inline constexpr const char* SUBPOPS_FILE_NAME = "SUBPOPS.OUT";
inline constexpr const char* SAMPLES_FILE_NAME = "SAMPLES.OUT";
inline constexpr const char* LOCUSTST_FILE_NAME = "LOCUSTST.OUT";
inline constexpr const char* SUMTEST_FILE_NAME = "SUMTEST.OUT";

// The files the erase switch deletes at the end of a run.
inline constexpr const char* DETAILED_OUTPUT_FILES[] = {FST_FILE_NAME, SUBPOPS_FILE_NAME, SAMPLES_FILE_NAME,
                                                        LOCUSTST_FILE_NAME, SUMTEST_FILE_NAME};

}  // namespace korvel
