// DynArray: a multivalue record held as one text. Fields are numbered from 1 and separated by
// the field mark; a field holds values numbered from 1, separated by the value mark; a value
// holds subvalues separated by the subvalue mark. The marks are bytes 0xFE, 0xFD and 0xFC,
// which never occur inside UTF-8 text, so French text and marks live together unescaped.
//
// Reading what does not exist gives the empty text. Assigning past the end extends the array
// with empty fields or values. Count() of the empty text is 0; of a text without a field mark,
// 1; a trailing field mark counts one more (empty) field. Field 0 is the record key, which a
// record's text does not hold: it reads empty and cannot be assigned.
//
// The positional API (Field, Value, SetField...) scans the text from its start at every call:
// fine for a record of a few dozen fields, quadratic over a selection of thousands of rows.
// Loops over many fields use the linear ways instead: Fields()/Values()/SubValues() walk the
// pieces in order as views into the text, and DynArrayBuilder builds a text at its end
// without recounting. Both give exactly what the positional API gives.
//
// A DynArray is a value type; it is not safe to share one between threads without a lock.
#pragma once

#include <cstddef>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace cortevane::db {

inline constexpr char kFieldMark = '\xFE';
inline constexpr char kValueMark = '\xFD';
inline constexpr char kSubValueMark = '\xFC';

// The pieces of a text split on one mark, walked in order as views into the text (which must
// outlive the walk). The empty text has no piece; any other text has one piece more than it
// has marks, so a mark at either end gives an empty piece there. Piece i of the walk is what
// the positional API reads as number i: the walk over fields yields Field(1)..Field(Count()),
// the walk over a field's values yields Value(f, 1)..Value(f, ValueCount(f)).
class Pieces {
 public:
  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = std::string_view;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string_view*;
    using reference = std::string_view;

    iterator() = default;
    std::string_view operator*() const { return piece_; }
    iterator& operator++() {
      Advance();
      return *this;
    }
    iterator operator++(int) {
      iterator old = *this;
      Advance();
      return old;
    }
    friend bool operator==(const iterator& a, const iterator& b) {
      return a.done_ == b.done_ && (a.done_ || a.piece_.data() == b.piece_.data());
    }

   private:
    friend class Pieces;
    iterator(std::string_view text, char mark);
    void Advance();
    void Take(size_t begin);

    std::string_view text_;
    std::string_view piece_;
    char mark_ = 0;
    bool done_ = true;
  };

  Pieces(std::string_view text, char mark) : text_(text), mark_(mark) {}
  iterator begin() const { return iterator(text_, mark_); }
  iterator end() const { return iterator(); }

  // The pieces in a vector, for a short text read at several positions (one row's values).
  std::vector<std::string_view> ToVector() const { return {begin(), end()}; }

 private:
  std::string_view text_;
  char mark_;
};

inline Pieces FieldsOf(std::string_view text) { return Pieces(text, kFieldMark); }
inline Pieces ValuesOf(std::string_view field) { return Pieces(field, kValueMark); }
inline Pieces SubValuesOf(std::string_view value) { return Pieces(value, kSubValueMark); }

// Piece n (from 1) of `text` split on `mark`, as a view; empty when there is none. The same
// reading as Field/Value/SubValue, for a view already in hand (a field met by a walk).
std::string_view PieceOf(std::string_view text, char mark, int n);

class DynArray {
 public:
  // An in-place view of one field or one value: Text() reads it, SetText() assigns it inside
  // the array it came from (extending it as needed). The view must not outlive the array.
  class Ref {
   public:
    std::string Text() const;
    void SetText(std::string_view text);
    Ref& operator=(std::string_view text) {
      SetText(text);
      return *this;
    }

   private:
    friend class DynArray;
    Ref(DynArray* array, int field, int value) : array_(array), field_(field), value_(value) {}
    DynArray* array_;
    int field_;
    int value_;  // 0: the whole field
  };

  DynArray() = default;
  explicit DynArray(std::string text) : text_(std::move(text)) {}

  const std::string& Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }

  // Number of fields: 0 for the empty text.
  int Count() const;
  // Number of values of field f: 0 when the field is empty or absent.
  int ValueCount(int f) const;

  std::string Field(int f) const;
  std::string Value(int f, int v) const;
  std::string SubValue(int f, int v, int s) const;

  void SetField(int f, std::string_view text);
  void SetValue(int f, int v, std::string_view text);

  Ref FieldRef(int f) { return Ref(this, f, 0); }
  Ref ValueRef(int f, int v) { return Ref(this, f, v); }

  // Walks the fields in order (see Pieces); the array must not change during the walk.
  Pieces Fields() const { return FieldsOf(text_); }

  // Appends a field at the end (after the last one, even when that is empty): the same as
  // SetField(Count() + 1, text), so an empty field appended to the empty array leaves it empty.
  // Costs the length of `text`, whatever the array's size.
  void AppendField(std::string_view text);
  friend bool operator==(const DynArray& a, const DynArray& b) { return a.text_ == b.text_; }

 private:
  std::string text_;
};

// Builds a text field after field, value after value, in linear time. The i-th field started
// is field i and the j-th value added to it is value j, whatever their texts: the result is
// the text that the same assignments by position (SetField(i, ...), SetValue(i, j, ...)) give
// in that order, so empty fields and values keep their places and marks may end the text.
class DynArrayBuilder {
 public:
  // Starts the next field, empty and without values yet.
  void StartField();
  // Starts the next field holding `text` as its value 1; AddValue then adds value 2.
  void AddField(std::string_view text);
  // Adds the next value to the current field (starting field 1 when none was started).
  void AddValue(std::string_view text);
  // Starts the next value of the current field, empty and without subvalues yet.
  void StartValue();
  // Adds the next subvalue to the current value (starting field 1 and value 1 as needed); a
  // value given whole by AddField or AddValue is its subvalue 1.
  void AddSubValue(std::string_view text);

  void Reserve(size_t bytes) { text_.reserve(bytes); }
  int FieldCount() const { return fields_; }
  // The text built so far, left empty for a new build.
  std::string TakeText();
  DynArray Take() { return DynArray(TakeText()); }

 private:
  std::string text_;
  int fields_ = 0;
  int values_ = 0;     // in the current field
  int subvalues_ = 0;  // in the current value
};

// Shows a record for people and tools: field mark as '^', value mark as ']', subvalue mark
// as '\'. ParseVisible is the inverse (it does not escape those three characters).
std::string ToVisible(std::string_view text);
std::string FromVisible(std::string_view visible);

}  // namespace cortevane::db
