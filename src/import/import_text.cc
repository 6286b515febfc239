#include "import/import_text.h"

#include <QString>
#include <limits>

#include "import/mod_proc.h"

namespace cortevane::import {
namespace {

// The fields of CIVILAIDE a search returns: the key, surname, first name, the six address
// parts, the city and the state, in the order ResultLine reads them.
constexpr std::string_view kSearchFields = "0 2 3 5 6 7 8 9 10 11 43";
constexpr std::string_view kSearchOrder = " PAR NomAide PAR PrenomAide PAR CodeAide";

db::DynArray Request(std::string_view sentence, std::string_view file, std::string_view fields) {
  db::DynArray request;
  request.SetField(1, sentence);
  request.SetField(2, file);
  request.SetField(3, fields);
  return request;
}

}  // namespace

std::string ColumnHeader() {
  std::string header;
  auto at = [&header](int column, std::string_view title) {
    header += std::string(static_cast<size_t>(column - CharCount(header)), ' ');
    header += title;
  };
  at(0, "Code");
  at(20, "Nom Prénom");
  at(94, "Adresse");
  at(172, "Ville");
  at(201, "Etat");
  return header;
}

std::optional<std::int32_t> ParseItemData(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::string PadCode(std::string_view code) {
  if (code.size() >= 5) return std::string(code);
  return std::string(5 - code.size(), '0') + std::string(code);
}

std::string ResultLine(const std::vector<std::string_view>& values) {
  auto value = [&](size_t v) {
    return v <= values.size() ? std::string(values[v - 1]) : std::string();
  };

  std::string name = std::string(Trim(value(2))) + " " + std::string(Trim(value(3)));
  // Each part joins with one blank and the whole is trimmed again, so empty parts leave
  // neither a double blank nor a blank at either end; blanks inside a part stay.
  std::string address(Trim(value(4)));
  for (size_t v = 5; v <= 9; ++v)
    address = std::string(Trim(address + " " + std::string(Trim(value(v)))));

  std::string line = value(1) + " ";
  line += Formatage_Chaine(name, 23, true, false);
  line += Formatage_Chaine(address, 47, true, false);
  line += " " + Formatage_Chaine(Trim(value(10)), 17, true, false);
  line += value(11).empty() ? " Actif" : " Suppr";
  return line;
}

db::DynArray CriteriaRequest(Mode mode, const std::vector<std::int32_t>& keys) {
  // "Responsable" and "Commune" start with a trailing blank and "Secteur" without, so the
  // sentences keep two blanks before AVEC in the first two and one in the third; the query
  // routine reads both alike.
  std::string sentence;
  std::string first;
  switch (mode) {
    case Mode::kResponsable:
      sentence = "SSELECT CIVILAIDE ";
      first = " AVEC 39 = ";
      break;
    case Mode::kSecteur:
      sentence = "SSELECT CIVILAIDE";
      first = " AVEC CodeSecteurAide = ";
      break;
    case Mode::kCommune:
      sentence = "SSELECT CIVILAIDE ";
      first = " AVEC 41 = ";
      break;
    case Mode::kIndividuelle:
      return {};
  }
  for (size_t i = 0; i < keys.size(); ++i)
    sentence += (i == 0 ? first : " OR = ") + ("\"" + std::to_string(keys[i]) + "\"");
  sentence += kSearchOrder;
  return Request(sentence, "CIVILAIDE", kSearchFields);
}

std::optional<db::DynArray> NameRequest(std::string_view upper_name) {
  // What the user typed must stay one value of the sentence: a quote of the kind around it
  // would end the value early and let the rest be read as more of the sentence.
  const bool has_double = upper_name.find('"') != std::string_view::npos;
  const bool has_single = upper_name.find('\'') != std::string_view::npos;
  if ((has_double && has_single) || upper_name.starts_with('[')) return std::nullopt;
  const char quote = has_double ? '\'' : '"';
  std::string sentence = "SSELECT CIVILAIDE AVEC NomAide = ";
  sentence += quote;
  sentence += upper_name;
  sentence += ']';
  sentence += quote;
  sentence += kSearchOrder;
  return Request(sentence, "CIVILAIDE", kSearchFields);
}

db::DynArray CriteriaListRequest(Mode mode) {
  switch (mode) {
    case Mode::kResponsable:
      return Request("SELECT RESPONSABLE PAR 1", "RESPONSABLE", "0 1");
    case Mode::kCommune:
      return Request("SELECT COMMUNES PAR 1 ", "COMMUNES", "0 1");
    case Mode::kSecteur:
      return Request("SELECT SECTEUR PAR 1", "SECTEUR", "0 1");
    case Mode::kIndividuelle:
      break;
  }
  return {};
}

std::string_view CriteriaListEmptyMessage(Mode mode) {
  switch (mode) {
    case Mode::kResponsable:
      return "Aucun responsable trouvé.";
    case Mode::kCommune:
      return "Aucune commune trouvée.";
    case Mode::kSecteur:
      return "Aucun secteur trouvé.";
    case Mode::kIndividuelle:
      break;
  }
  return {};
}

db::DynArray RegisterRequest() {
  return Request("SSELECT SDEXPORTAIDES PAR @ID", "SDEXPORTAIDES", "0 1");
}

std::string RegisterTime(int hour, int minute) {
  return std::to_string(hour) + ":" + std::to_string(minute);
}

db::DynArray RegisterRecord(std::string_view user, std::string_view date, std::string_view time) {
  db::DynArray record;
  record.SetField(1, user);
  record.SetField(2, date);
  record.SetField(3, time);
  return record;
}

std::string UpperCase(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
      .toUpper()
      .toStdString();
}

}  // namespace cortevane::import
