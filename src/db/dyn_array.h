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
// A DynArray is a value type; it is not safe to share one between threads without a lock.
#pragma once

#include <string>
#include <string_view>

namespace cortevane::db {

inline constexpr char kFieldMark = '\xFE';
inline constexpr char kValueMark = '\xFD';
inline constexpr char kSubValueMark = '\xFC';

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

  // Appends a field at the end (after the last one, even when that is empty).
  void AppendField(std::string_view text);

  friend bool operator==(const DynArray& a, const DynArray& b) { return a.text_ == b.text_; }

 private:
  std::string text_;
};

// Shows a record for people and tools: field mark as '^', value mark as ']', subvalue mark
// as '\'. ParseVisible is the inverse (it does not escape those three characters).
std::string ToVisible(std::string_view text);
std::string FromVisible(std::string_view visible);

}  // namespace cortevane::db
