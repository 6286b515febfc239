// Query sentence tokenizer: see tokenizer.h for where it sits.
#include "db/query/tokenizer.h"

namespace cortevane::db::query {
namespace {

bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Control characters and the bytes 0xF8..0xFF (the record marks among them) never belong to a
// sentence outside quotes; UTF-8 text never uses them either.
bool IsIllegal(unsigned char c) { return (c < 0x20 && !IsSpace(c)) || c == 0x7F || c >= 0xF8; }

bool IsOperatorChar(unsigned char c) { return c == '=' || c == '#' || c == '<' || c == '>'; }

bool IsQuote(unsigned char c) { return c == '"' || c == '\''; }

bool IsWordChar(unsigned char c) {
  return !IsSpace(c) && !IsIllegal(c) && !IsOperatorChar(c) && !IsQuote(c);
}

}  // namespace

Token NextToken(std::string_view in) {
  if (in.empty()) return {TokenKind::kEnd, 0};
  const auto c = static_cast<unsigned char>(in[0]);
  size_t n = 1;
  if (IsSpace(c)) {
    while (n < in.size() && IsSpace(static_cast<unsigned char>(in[n]))) ++n;
    return {TokenKind::kSpace, n};
  }
  if (IsQuote(c)) {
    // No escapes: a value cannot hold its own quote character, but it can hold the other one.
    size_t close = in.find(static_cast<char>(c), 1);
    if (close == std::string_view::npos) return {TokenKind::kUnterminated, in.size()};
    return {TokenKind::kString, close + 1};
  }
  if (IsOperatorChar(c)) {
    if (n < in.size()) {
      const char next = in[1];
      if ((c == '<' && (next == '=' || next == '>')) || (c == '>' && next == '=')) n = 2;
    }
    return {TokenKind::kOperator, n};
  }
  if (IsIllegal(c)) return {TokenKind::kIllegal, 1};
  while (n < in.size() && IsWordChar(static_cast<unsigned char>(in[n]))) ++n;
  return {TokenKind::kWord, n};
}

bool IsFieldNumber(std::string_view word) {
  if (word.empty()) return false;
  for (char c : word)
    if (c < '0' || c > '9') return false;
  return true;
}

std::string_view StringBody(std::string_view token) {
  if (token.size() < 2) return {};
  return token.substr(1, token.size() - 2);
}

}  // namespace cortevane::db::query
