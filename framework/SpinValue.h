#pragma once
// The number a spin field holds, by one rule for every back end: the field keeps any text the
// user types, and its value and its arrows read the text this way.

#include <string_view>

namespace pw::framework {

// The integer a spin field's text spells: blanks around it, an optional sign, decimal digits.
// Anything else, and a number outside the int range, is 0.
int ParseSpinValue(std::string_view text);

}  // namespace pw::framework
