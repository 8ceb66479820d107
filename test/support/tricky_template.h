// A KORVEL.IN that defeats reading by line numbers: the iteration factors
// continue on the next line, a number stands in the comment after the
// number of subpopulations, the sample sizes and the first locus take two
// lines, separators include tabs and a form feed, line ends are CR LF and
// the first comment holds UTF-8 text. Shared by the tests of the input
// library and of the sweep's template rewrite.
#pragma once

#include <string>

namespace korvel::testing {

inline const std::string TRICKY_TEMPLATE =
    "Template \xE2\x80\x93 Ne 500, 10 generations\r\n"
    "second comment 123 456\r\n"
    "1000 20\r\n"
    "  500     iteration factors\r\n"
    "1\t1               tests\r\n"
    "0 erase\r\n"
    "777 888 ignored line\r\n"
    "2   loci\r\n"
    "3   pops (300 is not the effective size)\r\n"
    "\f 0500\tNe \xC3\xA9 999\r\n"
    "+10 generations 42\r\n"
    "50 50\r\n"
    "  50 samples\r\n"
    "100 runs\r\n"
    "----\r\n"
    "alleles\r\n"
    "2 0.5\r\n"
    "   0.5 spread\r\n"
    "3 0.2 0.3 0.5";

}  // namespace korvel::testing
