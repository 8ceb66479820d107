// A fault found in an input file, carried to whoever reads the file.
//
// The simulation program prints CONSOLE on standard output (after the audible
// alert when ALERT is set), then each of NOTES as a line on standard error,
// and ends with EXIT_STATUS (END_WITH_FAULT). A tool that reads input files
// with the same code catches the fault and shows SUMMARY() and the NOTES in
// its own way. what() is SUMMARY().
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace korvel {

class INPUT_FAULT : public std::runtime_error {
 public:
  enum KIND {
    FILE_FAULT,      // missing or unreadable file (runtime error)
    INVALID_NUMBER,  // a token that is not a number (runtime error 106)
    FILE_ENDS,       // the file ends before a value
    OUT_OF_RANGE,    // an integer beyond the range of its type
    CAPACITY,        // more loci, populations or alleles than the build holds
    FREQUENCY_SUM,   // a locus whose frequencies do not sum to 1
    UNUSABLE_VALUE,  // a value the simulation cannot work with
  };

  INPUT_FAULT(KIND kind, std::string file, int line, std::string what, std::string console, int exit_status,
              bool alert = false);

  KIND FAULT_KIND;
  std::string FILE;     // name of the file as opened
  int LINE;             // 0 when the fault has no line (the file cannot be opened)
  std::string WHAT;     // what is wrong, one line, without the place
  std::string CONSOLE;  // exactly what the program writes on standard output
  int EXIT_STATUS;
  bool ALERT;
  std::vector<std::string> NOTES;  // likely causes, for standard error

  // "FILE line LINE: WHAT" (or "FILE: WHAT" without a line).
  std::string SUMMARY() const;
};

// The program's end for a fault: console text, notes on standard error, exit.
[[noreturn]] void END_WITH_FAULT(const INPUT_FAULT& fault);

}  // namespace korvel
