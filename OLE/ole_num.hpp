// The leading numbers of cell texts, read as the C library's atoi and atof
// read them (blanks, a sign, digits, for reals a point and an exponent, and
// whatever follows ignored), but decimal only: infinity, NaN and hexadecimal
// forms are no numbers and read as 0.
#pragma once

#include <string_view>

// Saturates far beyond 64 bits, so a range test after it is exact.
__int128 ole_leading_integer(std::string_view text);
// False when the number is too large for a double; an underflow reads as the
// nearest double (zero at worst).
bool ole_leading_real(std::string_view text, double& out);
