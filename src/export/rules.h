// The export's small rules, kept apart from the database and the user so they can be checked
// on their own: counter values and codes, re-keying, known versus created persons, the sector
// key, the selection sentences and the conflict question.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cortevane::exporting {

// Codes are 16-bit on the office side: the counter never gives out more than this.
inline constexpr long kHighestCode = 32767;

// The value of a counter field: one or more decimal digits and nothing else, or nullopt.
// Values too large to matter are capped just above kHighestCode instead of overflowing.
std::optional<long> CounterValue(std::string_view field);

// A code as a record key: decimal, left-padded with "0" to 5 characters (42 -> "00042").
std::string FormatCode(long code);

// The key a laptop record takes on the server once its person got `new_code`: the first 5
// characters of the old key give way to the new code, the rest (the suffix of a several-
// records file) is kept; a key of 5 characters or fewer becomes the new code itself.
std::string ReKey(std::string_view new_code, std::string_view old_key);

// Whether the laptop person `code` is known to the server given the user's threshold (field 11
// of COMPTEUR_<user> "999"): known when the code is not greater than the threshold. Codes are
// compared as numbers when both are digit strings (a threshold "9" and a code "00042" then
// compare as 9 and 42), otherwise as text; for 5-digit keys both orders are the same.
bool IsKnownPerson(std::string_view threshold, std::string_view code);

// The SECTEUR key of a person's sector code: its first 3 characters (all of it when shorter).
std::string SectorKey(std::string_view sector_code);

// The DBA.SELECT sentence that finds the keys of `file` the export needs: every person for
// "CIVILAIDE", the user's registrations for "SDEXPORTAIDES", else the keys beginning with
// `prefix`. The names are compared exactly, case included. The prefix is put between double
// quotes, or single quotes when it holds a double one; nullopt when no sentence can select
// it: it holds both quote characters, a record mark (the request travels as one record), or
// begins with "[" (which the sentence would read as "ends with").
std::optional<std::string> SelectionSentence(std::string_view file, std::string_view prefix,
                                             std::string_view user);

// The question asked when a record changed both on the laptop and on the server.
std::string ConflictQuestion(std::string_view label, std::string_view code,
                             std::string_view surname, std::string_view first_name);

}  // namespace cortevane::exporting
