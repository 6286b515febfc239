// Any bytes as a record's text: reading, assigning and counting must neither crash nor break
// the laws the rest of the program relies on.
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <string>

#include "db/dyn_array.h"

using cortevane::db::DynArray;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int f = data[0] % 12 - 1;  // -1 .. 10: out-of-range numbers included
  int v = data[1] % 6 - 1;
  std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
  DynArray a(text);
  int count = a.Count();
  assert(count >= 0);
  std::string field = a.Field(f), value = a.Value(f, v);
  (void)a.SubValue(f, v, data[2] % 4);

  // Assigning what was read gives back the same text, for every existing field.
  if (f >= 1 && f <= count) {
    DynArray b(text);
    b.SetField(f, field);
    assert(b.Text() == text);
  }
  // An assignment past the end extends to exactly that field.
  std::string piece(1, static_cast<char>('a' + data[2] % 26));
  DynArray c(text);
  c.SetValue(f, v, piece);
  if (f >= 1 && v >= 1) {
    assert(c.Value(f, v) == piece);
    assert(c.Count() >= f);
    for (int i = 1; i <= count; ++i)
      if (i != f) assert(c.Field(i) == a.Field(i));
  }
  return 0;
}
