// The texts of the import window that do not need a window: person codes and keys carried as
// 32-bit item data, the column header, one result line per person, the query sentences of the
// search and of the register check, and the register record. Everything here is a pure
// function, so the window's formatting and sentences are tested without a database.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/dyn_array.h"

namespace cortevane::import {

// The selection modes of the window.
enum class Mode { kIndividuelle, kResponsable, kCommune, kSecteur };

// The caption shared by the two column headers: "Code" at column 0, "Nom Prénom" at 20,
// "Adresse" at 94, "Ville" at 172, "Etat" at 201; 205 characters.
std::string ColumnHeader();

// Where each part of a result line begins (code, name, address, city, state), for a
// 5-character code: the columns the header's titles stand over.
inline constexpr int kResultColumns[] = {0, 6, 29, 77, 95};
// The length of a whole result line: the state ("Actif", "Suppr") ends it.
inline constexpr int kResultLineCharacters = 100;

// A record key or a person code as the 32-bit item data of a list entry: decimal digits only
// (no sign, no blank), at most 2147483647. Anything else gives nullopt and the entry is left
// out of its list, since a wrong number would later name another person or criterion.
std::optional<std::int32_t> ParseItemData(std::string_view text);

// A code padded on the left with "0" to 5 characters ("42" -> "00042"); longer codes stay whole.
std::string PadCode(std::string_view code);
inline std::string PadCode(std::int32_t code) { return PadCode(std::to_string(code)); }

// The line of Lst_Possible for the values of one row of a search result (value 1 the code,
// 2 surname, 3 first name, 4 to 9 the address parts, 10 the city, 11 the state; missing ones
// read empty): code, blank, name on 23 columns, address on 47, blank, city on 17, blank,
// Actif/Suppr.
std::string ResultLine(const std::vector<std::string_view>& values);

// The search request for a criteria mode, with the chosen entries' item data in list order:
// field 1 the sentence, field 2 "CIVILAIDE", field 3 the wanted fields.
db::DynArray CriteriaRequest(Mode mode, const std::vector<std::int32_t>& keys);
// The search request for a surname beginning with `upper_name` (already upper-cased). The name
// goes between double quotes, or between single quotes when it holds a double quote (the query
// has no escapes); nullopt when it cannot stand as a value: it holds both quotes, or begins
// with "[", which would make the test an ends-with.
std::optional<db::DynArray> NameRequest(std::string_view upper_name);
inline constexpr std::string_view kNameNotSearchable =
    "Ce nom ne peut pas être recherché : il ne peut pas contenir à la fois des guillemets (\") et "
    "des apostrophes ('), ni commencer par un crochet ([).";

// The criteria loading request of a criteria mode ("SELECT RESPONSABLE PAR 1", ...), and the
// message shown when it finds nothing.
db::DynArray CriteriaListRequest(Mode mode);
std::string_view CriteriaListEmptyMessage(Mode mode);

// The register check request: every SDEXPORTAIDES record, key and user, in key order.
db::DynArray RegisterRequest();

// Field 3 of a register record: hour and minute without leading zeros (09:05 -> "9:5").
std::string RegisterTime(int hour, int minute);
// A register record: user (upper case), stored date, time.
db::DynArray RegisterRecord(std::string_view user, std::string_view date, std::string_view time);

// Upper case of a UTF-8 text as the names are stored (accented letters included).
std::string UpperCase(std::string_view text);

}  // namespace cortevane::import
