#include "export/rules.h"

#include <algorithm>

#include "db/dyn_array.h"

namespace cortevane::exporting {

std::optional<long> CounterValue(std::string_view field) {
  if (field.empty()) return std::nullopt;
  long value = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return std::nullopt;
    value = std::min(value * 10 + (c - '0'), kHighestCode + 1);
  }
  return value;
}

std::string FormatCode(long code) {
  std::string digits = std::to_string(code);
  if (digits.size() < 5) digits.insert(0, 5 - digits.size(), '0');
  return digits;
}

std::string ReKey(std::string_view new_code, std::string_view old_key) {
  std::string key(new_code);
  if (old_key.size() > 5) key.append(old_key.substr(5));
  return key;
}

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view WithoutLeadingZeros(std::string_view digits) {
  size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view() : digits.substr(first);
}

}  // namespace

bool IsKnownPerson(std::string_view threshold, std::string_view code) {
  if (AllDigits(threshold) && AllDigits(code)) {
    std::string_view t = WithoutLeadingZeros(threshold);
    std::string_view c = WithoutLeadingZeros(code);
    if (t.size() != c.size()) return t.size() > c.size();
    return t >= c;
  }
  return threshold >= code;
}

std::string SectorKey(std::string_view sector_code) {
  return std::string(sector_code.substr(0, 3));
}

std::optional<std::string> SelectionSentence(std::string_view file, std::string_view prefix,
                                             std::string_view user) {
  std::string sentence = "SELECT " + std::string(file);
  if (file == "CIVILAIDE") return sentence;
  if (file == "SDEXPORTAIDES") return sentence + " AVEC 1 = \"" + std::string(user) + "\"";
  const bool double_quote = prefix.find('"') != std::string_view::npos;
  const bool single_quote = prefix.find('\'') != std::string_view::npos;
  const bool mark = std::any_of(prefix.begin(), prefix.end(), [](char c) {
    return c == db::kFieldMark || c == db::kValueMark || c == db::kSubValueMark;
  });
  if ((double_quote && single_quote) || mark || prefix.starts_with('[')) return std::nullopt;
  const char quote = double_quote ? '\'' : '"';
  return sentence + " AVEC 0 = " + quote + std::string(prefix) + "]" + quote;
}

std::string ConflictQuestion(std::string_view label, std::string_view code,
                             std::string_view surname, std::string_view first_name) {
  std::string text = "Les informations de ";
  text += label;
  text += " de l'aidé \"";
  text += code;
  text += " - ";
  text += surname;
  text += ' ';
  text += first_name;
  text += "\"\r ont évolué sur le serveur depuis l'exportation.\r\n";
  text += "Continuer l'intégration de cet élément ?";
  return text;
}

}  // namespace cortevane::exporting
