// Sample data for a server account: everything the program reads on the office base, made up
// from a seed, so a demo, a test or a benchmark can stand on realistic records. The same seed
// and size always give the same records, byte for byte.
//
// What Seed writes (record layouts as the program reads them):
//   CIVILAIDE      persons: French surnames (upper case, accents kept) and first names, an
//                  address in six parts (fields 5 to 10, several often empty) and a city (11),
//                  phones (12, sometimes two values), responsable (39), sector code (40: the
//                  sector's 3-digit key, sometimes followed by a sub-sector digit), commune
//                  (41), state (43: empty, or a mark for a deleted person).
//   RESPONSABLE, COMMUNES   keys are plain numbers without leading zeros; field 1 the label.
//   SECTEUR        3-digit keys; field 1 the label, field 22 the folder (a C:\ path ending in a
//                  backslash) that receives its persons' scanned documents.
//   SDPARAMEXPORT  PARAMETRES, AIDE (CIVILAIDE first, then a one-record file, a several-records
//                  "SELECT" file and a file marked "N"), PLANNING (one planning file).
//   AIDEDOSSIER, AIDEINTERV, AIDENOTES, PLANNINGAIDE   the persons' other records.
//   COMPTEUR       record 999, field 11: the last code given out.
//   SDEXPORTAIDES, TEMPO   empty.
// and the dictionaries: CodeAide (key, right-justified), NomAide and PrenomAide (fields 2 and
// 3, indexed), CodeSecteurAide (first 3 characters of field 40, right-justified, indexed),
// indexes on fields 39 and 41 and on the first 5 characters of the several-records keys; and a
// plain French name for every field of CIVILAIDE, AIDEDOSSIER, AIDEINTERV, AIDENOTES and
// PLANNINGAIDE (Nom, Prenom, AdresseVoie, Telephone...).
//
// Person codes are 5 digits (00001...). Beyond 99,999 persons the codes grow to 6 digits,
// which the program cannot carry: such a base is for measurements only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cortevane::db {

class Store;

namespace sample {

struct SeedOptions {
  long persons = 2000;
  uint64_t seed = 1;
  // Called every few thousand persons and at the end, with (persons written, persons asked).
  std::function<void(long done, long total)> progress;
};

struct SeedSummary {
  long persons = 0;
  long deleted = 0;                         // persons whose field 43 marks them deleted
  long records = 0;                         // every record written, all files together
  std::vector<std::string> codes;           // a few person codes, for scanned documents
  std::vector<std::string> sector_folders;  // field 22 of every SECTEUR record
};

// Fills `store` (a server account) in one transaction: either everything is written or, on a
// failure, nothing. Refuses with kFileExists, writing nothing, when CIVILAIDE already holds
// records. *message (if given) says what failed, in English.
int Seed(Store& store, const SeedOptions& options, SeedSummary* summary,
         std::string* message = nullptr);

}  // namespace sample
}  // namespace cortevane::db
