#include "export/conflict_details.h"

#include <algorithm>

#include "export/merge_rule.h"

namespace cortevane::exporting {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// A value on one line: subvalues and values separated by " ; ", line breaks and tabs as
// blanks; "(vide)" when empty.
std::string OneLine(std::string_view value) {
  if (value.empty()) return "(vide)";
  std::string line;
  line.reserve(value.size());
  for (char c : value) {
    if (c == db::kSubValueMark || c == db::kValueMark) {
      line += " ; ";
    } else if (c == '\r' || c == '\n' || c == '\t') {
      line += ' ';
    } else {
      line += c;
    }
  }
  return line;
}

// How one value reads in the details: absent record, or the value on one line, shortened.
std::string Shown(const db::DynArray& record, std::string_view value) {
  if (record.Text().empty()) return "(absent)";
  return Shortened(OneLine(value), kDetailValueWidth);
}

std::string_view At(const std::vector<std::string_view>& pieces, size_t i) {
  return i < pieces.size() ? pieces[i] : std::string_view();
}

// The pieces of the three versions at one level (fields of the records, values of a field).
struct Split {
  std::vector<std::string_view> reference, server, laptop;
  size_t Count() const { return std::max({reference.size(), server.size(), laptop.size()}); }
};

const char* ChangedBySentence(ChangedBy who) {
  switch (who) {
    case ChangedBy::kOffice:
      return ", modifié sur le serveur";
    case ChangedBy::kLaptop:
      return ", modifié sur le portable";
    case ChangedBy::kBoth:
      return ", modifié des deux côtés";
    case ChangedBy::kNobody:
      break;
  }
  return "";
}

}  // namespace

std::map<int, std::string> FieldNames(const std::vector<db::DictItem>& dictionary) {
  std::map<int, std::string> names;
  for (const db::DictItem& item : dictionary) {
    if (item.field > 0 && item.first == 0) names.emplace(item.field, item.name);
  }
  return names;
}

std::string Shortened(std::string_view text, size_t width) {
  if (width == 0) return {};
  size_t characters = 0;
  size_t cut = text.size();  // where the (width - 1)-th character ends
  for (size_t i = 0; i < text.size(); ++i) {
    if (IsContinuationByte(text[i])) continue;
    if (characters == width - 1) cut = i;
    if (++characters > width) return std::string(text.substr(0, cut)) + "…";
  }
  return std::string(text);
}

std::string ConflictDetails(std::string_view key, const db::DynArray& reference,
                            const db::DynArray& server, const db::DynArray& laptop,
                            const std::map<int, std::string>& names) {
  std::string text = "Enregistrement " + std::string(key);
  int items = 0;
  int left_out = 0;
  const std::vector<ChangedBy> changes = FieldChanges(reference, server, laptop);
  // One block: where it is, who changed the field, then the three versions of that place.
  auto block = [&](int field, int value, std::string_view at_import, std::string_view now,
                   std::string_view here) {
    if (at_import == now && now == here) return;
    if (++items > kDetailMaxItems) {
      ++left_out;
      return;
    }
    text += "\n\nChamp " + std::to_string(field);
    if (value > 0) text += ", valeur " + std::to_string(value);
    if (auto name = names.find(field); name != names.end()) text += " (" + name->second + ")";
    text += ChangedBySentence(changes[field - 1]);
    text += "\n  à l'importation : " + Shown(reference, at_import);
    text += "\n  sur le serveur : " + Shown(server, now);
    text += "\n  sur le portable : " + Shown(laptop, here);
  };

  // Every record and every multivalued field split once: linear in the records' size.
  const Split fields{reference.Fields().ToVector(), server.Fields().ToVector(),
                     laptop.Fields().ToVector()};
  for (size_t f = 0; f < changes.size(); ++f) {
    const std::string_view r = At(fields.reference, f), s = At(fields.server, f),
                           l = At(fields.laptop, f);
    const Split values{db::ValuesOf(r).ToVector(), db::ValuesOf(s).ToVector(),
                       db::ValuesOf(l).ToVector()};
    const size_t count = values.Count();
    const int field = static_cast<int>(f) + 1;
    if (count <= 1) {
      block(field, 0, r, s, l);
      continue;
    }
    for (size_t v = 0; v < count; ++v) {
      block(field, static_cast<int>(v) + 1, At(values.reference, v), At(values.server, v),
            At(values.laptop, v));
    }
  }
  // Texts can differ only by marks that separate nothing ("A^B" and "A^B^").
  if (items == 0) text += "\n\nLes versions ne diffèrent que par des séparateurs sans contenu.";
  if (left_out > 0) {
    text += "\n\n… et " + std::to_string(left_out) +
            (left_out == 1 ? " autre différence." : " autres différences.");
  }
  return text;
}

std::string DeclinedValues(const db::DynArray& reference, const db::DynArray& server,
                           const db::DynArray& laptop, const std::map<int, std::string>& names) {
  const std::vector<ChangedBy> changes = FieldChanges(reference, server, laptop);
  const std::vector<std::string_view> fields = laptop.Fields().ToVector();
  std::string text = "    Valeurs du portable non envoyées :";
  for (size_t f = 0; f < changes.size(); ++f) {
    if (changes[f] != ChangedBy::kLaptop && changes[f] != ChangedBy::kBoth) continue;
    const int field = static_cast<int>(f) + 1;
    auto name = names.find(field);
    text += "\n      " +
            (name != names.end() ? name->second + " (champ " + std::to_string(field) + ")"
                                 : "Champ " + std::to_string(field)) +
            " : " + OneLine(At(fields, f));
  }
  return text;
}

}  // namespace cortevane::exporting
