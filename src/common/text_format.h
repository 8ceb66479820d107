// The text output rules shared by every file and console line:
//  - an integer of width w is right-aligned in w characters, minus sign
//    directly before the digits; width 0 takes exactly the characters needed;
//  - a real w:d is fixed-point with exactly d decimals, rounded to nearest,
//    right-aligned in w characters; d = 0 writes no decimal point; a value
//    that rounds to zero is written without a minus sign;
//  - a text of width w is right-aligned in w characters;
//  - nothing is ever cut: a wider value widens the line.
#pragma once

#include <string>
#include <string_view>

#include "common/number_types.h"

namespace korvel {

void APPEND_INT(std::string& out, long long value, int width = 0);
void APPEND_REAL(std::string& out, EXTENDED value, int width, int decimals);
void APPEND_TEXT(std::string& out, std::string_view text, int width = 0);
void APPEND_BLANKS(std::string& out, int count);

std::string INT_TEXT(long long value, int width = 0);
std::string REAL_TEXT(EXTENDED value, int width, int decimals);
std::string TEXT_FIELD(std::string_view text, int width);

}  // namespace korvel
