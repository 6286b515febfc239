// CountText (ui.h): counts as the windows print them.
#include <string>

#include "ui/ui.h"

namespace cortevane::ui {

std::string CountText(long long count, std::string_view singular, std::string_view plural) {
  const std::string digits = std::to_string(count < 0 ? -count : count);
  std::string text = count < 0 ? "-" : "";
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += "\u00a0";  // no-break space
    text += digits[i];
  }
  text += ' ';
  text += (count > 1 || count < -1) ? plural : singular;
  return text;
}

}  // namespace cortevane::ui
