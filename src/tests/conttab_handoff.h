// The hand-off of one locus's contingency table from TEST_LOCUS_X to the two
// tests through CONTTAB.XYZ, without the cost of creating the file anew for
// every locus and reading it back from the disk twice.
//
// TEST_LOCUS_X forms the file's text in memory and WRITE_CONTTAB puts it
// into CONTTAB.XYZ. While the tests of that locus run, a CONTTAB_LOAN lends
// the same text to OPEN_CONTTAB, so the readers see exactly the bytes the
// file holds; outside a loan OPEN_CONTTAB reads the file itself.
#pragma once

#include <string>

#include "common/text_input.h"

namespace korvel {

// Makes CONTTAB.XYZ of the working directory hold exactly `text`. The file
// written by the previous call, when it is still the file of that name, is
// rewritten in place (a new file on a disk can cost milliseconds, a rewrite
// of a few hundred bytes microseconds); otherwise the file is created anew.
// A failure is the runtime error of the file convention.
void WRITE_CONTTAB(const std::string& text);

// Opens CONTTAB.XYZ for reading: the lent text during a loan, else the file.
void OPEN_CONTTAB(TextIn& in);

// Lends `text`, which must be what CONTTAB.XYZ holds, to OPEN_CONTTAB for
// the life of the loan.
class CONTTAB_LOAN {
 public:
  explicit CONTTAB_LOAN(const std::string& text);
  ~CONTTAB_LOAN();
  CONTTAB_LOAN(const CONTTAB_LOAN&) = delete;
  CONTTAB_LOAN& operator=(const CONTTAB_LOAN&) = delete;

 private:
  const std::string* previous_;
};

}  // namespace korvel
