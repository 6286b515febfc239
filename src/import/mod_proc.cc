#include "import/mod_proc.h"

#include <cstddef>

namespace cortevane::import {
namespace {

// Length in bytes of the UTF-8 sequence starting with `lead`; 1 for a byte that cannot start
// one, so malformed text is cut byte by byte rather than over-read.
size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// Byte offset just after the first `chars` characters of `text` (or its size).
size_t PrefixBytes(std::string_view text, int chars) {
  size_t at = 0;
  for (int n = 0; n < chars && at < text.size(); ++n) {
    size_t len = SequenceLength(static_cast<unsigned char>(text[at]));
    at += len;
  }
  return at < text.size() ? at : text.size();
}

}  // namespace

int CharCount(std::string_view text) {
  int n = 0;
  for (size_t at = 0; at < text.size(); ++n)
    at += SequenceLength(static_cast<unsigned char>(text[at]));
  return n;
}

std::string Formatage_Chaine(std::string_view text, int width, bool left_aligned,
                             bool zero_filled) {
  if (width < 0) width = 0;
  int length = CharCount(text);
  if (length > width) return std::string(text.substr(0, PrefixBytes(text, width)));
  std::string fill(static_cast<size_t>(width - length), zero_filled ? '0' : ' ');
  return left_aligned ? std::string(text) + fill : fill + std::string(text);
}

std::string_view Trim(std::string_view text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

}  // namespace cortevane::import
