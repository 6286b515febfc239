#include "db/dyn_array.h"

#include <cstddef>

namespace cortevane::db {
namespace {

// Finds the n-th piece (from 1) of `text` split on `mark`. Returns false when there is none.
bool Piece(std::string_view text, char mark, int n, size_t* begin, size_t* end) {
  if (n < 1) return false;
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    size_t next = text.find(mark, start);
    if (next == std::string_view::npos) return false;
    start = next + 1;
  }
  size_t stop = text.find(mark, start);
  *begin = start;
  *end = stop == std::string_view::npos ? text.size() : stop;
  return true;
}

std::string_view Extract(std::string_view text, char mark, int n) {
  size_t b = 0, e = 0;
  if (!Piece(text, mark, n, &b, &e)) return {};
  return text.substr(b, e - b);
}

int CountPieces(std::string_view text, char mark) {
  if (text.empty()) return 0;
  int n = 1;
  for (char c : text)
    if (c == mark) ++n;
  return n;
}

// Replaces the n-th piece of *text split on `mark`, appending empty pieces when it is short.
void Replace(std::string* text, char mark, int n, std::string_view piece) {
  if (n < 1) return;
  int have = CountPieces(*text, mark);
  if (have == 0 && n == 1) {
    text->assign(piece);
    return;
  }
  if (have < n) {
    if (have == 0) have = 1;  // the empty text is one empty piece once something is added
    text->append(static_cast<size_t>(n - have), mark);
    text->append(piece);
    return;
  }
  size_t b = 0, e = 0;
  Piece(*text, mark, n, &b, &e);
  text->replace(b, e - b, piece);
}

}  // namespace

int DynArray::Count() const { return CountPieces(text_, kFieldMark); }

int DynArray::ValueCount(int f) const { return CountPieces(Field(f), kValueMark); }

std::string DynArray::Field(int f) const { return std::string(Extract(text_, kFieldMark, f)); }

std::string DynArray::Value(int f, int v) const {
  return std::string(Extract(Extract(text_, kFieldMark, f), kValueMark, v));
}

std::string DynArray::SubValue(int f, int v, int s) const {
  return std::string(
      Extract(Extract(Extract(text_, kFieldMark, f), kValueMark, v), kSubValueMark, s));
}

void DynArray::SetField(int f, std::string_view text) { Replace(&text_, kFieldMark, f, text); }

void DynArray::SetValue(int f, int v, std::string_view text) {
  if (f < 1 || v < 1) return;
  std::string field = Field(f);
  Replace(&field, kValueMark, v, text);
  SetField(f, field);
}

void DynArray::AppendField(std::string_view text) {
  if (!text_.empty()) text_.push_back(kFieldMark);
  text_.append(text);
}

void DynArrayBuilder::StartField() {
  if (fields_ > 0) text_.push_back(kFieldMark);
  ++fields_;
  values_ = 0;
  subvalues_ = 0;
}

void DynArrayBuilder::AddField(std::string_view text) {
  StartField();
  text_.append(text);
  values_ = 1;
  subvalues_ = 1;
}

void DynArrayBuilder::StartValue() {
  if (fields_ == 0) StartField();
  if (values_ > 0) text_.push_back(kValueMark);
  ++values_;
  subvalues_ = 0;
}

void DynArrayBuilder::AddValue(std::string_view text) {
  StartValue();
  text_.append(text);
  subvalues_ = 1;
}

void DynArrayBuilder::AddSubValue(std::string_view text) {
  if (fields_ == 0) StartField();
  if (values_ == 0) values_ = 1;
  if (subvalues_ > 0) text_.push_back(kSubValueMark);
  text_.append(text);
  ++subvalues_;
}

std::string DynArrayBuilder::TakeText() {
  std::string out = std::move(text_);
  text_.clear();
  fields_ = values_ = subvalues_ = 0;
  return out;
}

Pieces::iterator::iterator(std::string_view text, char mark)
    : text_(text), mark_(mark), done_(text.empty()) {
  if (!done_) Take(0);
}

void Pieces::iterator::Take(size_t begin) {
  size_t stop = text_.find(mark_, begin);
  piece_ = text_.substr(begin, (stop == std::string_view::npos ? text_.size() : stop) - begin);
}

void Pieces::iterator::Advance() {
  size_t next = static_cast<size_t>(piece_.data() - text_.data()) + piece_.size();
  if (next >= text_.size()) {
    done_ = true;
    piece_ = {};
    return;
  }
  Take(next + 1);  // past the mark ending the current piece
}

std::string_view PieceOf(std::string_view text, char mark, int n) { return Extract(text, mark, n); }

std::string DynArray::Ref::Text() const {
  return value_ == 0 ? array_->Field(field_) : array_->Value(field_, value_);
}

void DynArray::Ref::SetText(std::string_view text) {
  if (value_ == 0)
    array_->SetField(field_, text);
  else
    array_->SetValue(field_, value_, text);
}

std::string ToVisible(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == kFieldMark)
      c = '^';
    else if (c == kValueMark)
      c = ']';
    else if (c == kSubValueMark)
      c = '\\';
  }
  return out;
}

std::string FromVisible(std::string_view visible) {
  std::string out(visible);
  for (char& c : out) {
    if (c == '^')
      c = kFieldMark;
    else if (c == ']')
      c = kValueMark;
    else if (c == '\\')
      c = kSubValueMark;
  }
  return out;
}

}  // namespace cortevane::db
