// The names that the programs and their tools share: the files of a run's
// folder and the environment variables the programs read. A tool that
// writes an input file, reads a report or sets up a run uses these, so
// that a renamed file or variable is renamed everywhere at once.
#pragma once

namespace korvel {

// The input file, read from the folder the program starts in.
inline constexpr const char* INPUT_FILE_NAME = "KORVEL.IN";

// The files the program writes in its working folder.
inline constexpr const char* SUMMARY_FILE_NAME = "KORVEL.OUT";
inline constexpr const char* FST_FILE_NAME = "FST.OUT";
inline constexpr const char* SUBPOPS_FILE_NAME = "SUBPOPS.OUT";
inline constexpr const char* SAMPLES_FILE_NAME = "SAMPLES.OUT";
inline constexpr const char* LOCUSTST_FILE_NAME = "LOCUSTST.OUT";
inline constexpr const char* SUMTEST_FILE_NAME = "SUMTEST.OUT";

// The contingency tables handed to the exact test; deleted at the end.
inline constexpr const char* CONTTAB_FILE_NAME = "CONTTAB.XYZ";

// The files the erase switch deletes at the end of a run.
inline constexpr const char* DETAILED_OUTPUT_FILES[] = {FST_FILE_NAME, SUBPOPS_FILE_NAME, SAMPLES_FILE_NAME,
                                                        LOCUSTST_FILE_NAME, SUMTEST_FILE_NAME};

// The generator seed of a run (else the clock); parsed by PARSE_SEED_TEXT.
inline constexpr const char* SEED_VARIABLE = "KORVEL_SEED";
// Threads of the exact tests' chains (else every core of the process);
// parsed by PARSE_THREAD_COUNT.
inline constexpr const char* THREADS_VARIABLE = "KORVEL_THREADS";
// Diagnostic: forces one form of the exact test's chain (the table in
// src/tests/exact_chain.cpp); the tests run every form this way.
inline constexpr const char* CHAIN_FORM_VARIABLE = "KORVEL_CHAIN_FORM";

}  // namespace korvel
