#include "export/conflict_details.h"

#include <algorithm>

namespace cortevane::exporting {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// How one value reads in the details: absent record, empty value, or its text on one line
// (subvalues separated by " ; ", line breaks and tabs as blanks), shortened.
std::string Shown(const db::DynArray& record, std::string_view value) {
  if (record.Text().empty()) return "(absent)";
  if (value.empty()) return "(vide)";
  std::string line;
  for (char c : value) {
    if (c == db::kSubValueMark || c == db::kValueMark) {
      line += " ; ";
    } else if (c == '\r' || c == '\n' || c == '\t') {
      line += ' ';
    } else {
      line += c;
    }
  }
  return Shortened(line, kDetailValueWidth);
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
  // One block: where it is, then the three versions of that place.
  auto block = [&](int field, int value, const std::string& at_import, const std::string& now,
                   const std::string& here) {
    if (at_import == now && now == here) return;
    if (++items > kDetailMaxItems) {
      ++left_out;
      return;
    }
    text += "\n\nChamp " + std::to_string(field);
    if (value > 0) text += ", valeur " + std::to_string(value);
    if (auto name = names.find(field); name != names.end()) text += " (" + name->second + ")";
    text += "\n  à l'importation : " + Shown(reference, at_import);
    text += "\n  sur le serveur : " + Shown(server, now);
    text += "\n  sur le portable : " + Shown(laptop, here);
  };

  const int fields = std::max({reference.Count(), server.Count(), laptop.Count()});
  for (int f = 1; f <= fields; ++f) {
    const int values =
        std::max({reference.ValueCount(f), server.ValueCount(f), laptop.ValueCount(f)});
    if (values <= 1) {
      block(f, 0, reference.Field(f), server.Field(f), laptop.Field(f));
      continue;
    }
    for (int v = 1; v <= values; ++v) {
      block(f, v, reference.Value(f, v), server.Value(f, v), laptop.Value(f, v));
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

}  // namespace cortevane::exporting
