// First stage of DBA.SELECT: cuts a query sentence into tokens. The parser (parser.cc) reads
// them to build a Query (query.h); the evaluator (evaluator.cc) runs that against a store.
//
// The tokenizer is a pure function of its input. It knows no keywords: SELECT, AVEC, PAR, OR...
// are plain words, and the parser decides where a word is a keyword. Input it cannot read is a
// token of its own kind (kIllegal, kUnterminated), never an exception.
#pragma once

#include <cstddef>
#include <string_view>

namespace cortevane::db::query {

enum class TokenKind {
  kEnd,           // nothing left
  kSpace,         // blanks, tabs, line ends
  kWord,          // a name or keyword: SSELECT, CIVILAIDE, NomAide, @ID, BY.DSND, 39
  kString,        // a value between double (or single) quotes, quotes included
  kOperator,      // = # < > <= >= <>
  kUnterminated,  // a quote that is never closed: the rest of the input
  kIllegal,       // a byte that has no place outside quotes (control characters, marks)
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  size_t length = 0;
};

// The token at the start of `input`. Length 0 only for kEnd.
Token NextToken(std::string_view input);

// True when a kWord token is made of decimal digits only (a field number).
bool IsFieldNumber(std::string_view word);

// The text of a kString token without its quotes.
std::string_view StringBody(std::string_view token);

}  // namespace cortevane::db::query
