// Mod_Proc: text utilities shared by the windows. Texts are UTF-8 and widths count characters
// (code points), so an accented letter takes one column of a fixed-pitch list like any other.
#pragma once

#include <string>
#include <string_view>

namespace cortevane::import {

// Fits `text` to exactly `width` characters: a longer text keeps its first `width` characters;
// a shorter one is filled with "0" (zero_filled) or blanks, after the text when left_aligned,
// before it otherwise. A width below 0 counts as 0.
//   Formatage_Chaine("Dupont", 8, true, false) == "Dupont  "
//   Formatage_Chaine("42", 5, false, true)     == "00042"
std::string Formatage_Chaine(std::string_view text, int width, bool left_aligned, bool zero_filled);

// Number of characters of a UTF-8 text (a stray byte that is not valid UTF-8 counts as one).
int CharCount(std::string_view text);

// The text without its leading and trailing blanks (only ' ', as the list lines want it:
// a tab or a mark inside a field stays visible as data).
std::string_view Trim(std::string_view text);

}  // namespace cortevane::import
