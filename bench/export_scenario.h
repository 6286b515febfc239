// The export benchmarks' scenario, shared by the embedded and the office-store benchmarks: N
// persons known to the office with one record in each of three one-record files (CIVILAIDE,
// DOSSIER, BUDGET marked "N") and `notes` records in a several-records file (NOTES); every
// fifth person changed on the laptop (its state record, every note, its budget), every
// twentieth also changed on the office in the "N" file (written without a question); and
// `created` persons created on the laptop with the same records. Loaded through the Store
// interface, so the office can be an embedded or a PostgreSQL account.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "db/dyn_array.h"
#include "db/store.h"

namespace cortevane::bench {

inline constexpr char kExportUser[] = "BENCH";
inline constexpr const char* kExportFiles[] = {"CIVILAIDE", "DOSSIER", "NOTES", "BUDGET"};
inline constexpr char kFirstCounter[] = "10000";  // the common counter before the export

struct ExportRecord {
  std::string file, key, reference, server, laptop;  // empty: no such record on that side
};

inline std::string ExportCode(int n) {
  std::string digits = std::to_string(n);
  return std::string(5 - digits.size(), '0') + digits;
}

inline std::string ExportPerson(int n, const char* variant) {
  db::DynArray r;
  r.SetField(2, "NOM" + std::to_string(n));
  r.SetField(3, std::string("Prénom ") + variant);
  for (int f = 5; f <= 11; ++f) r.SetField(f, "adresse " + std::to_string(f) + " rue des Lilas");
  r.SetField(12, "01 23 45 67 89");
  r.SetField(39, std::to_string(n % 40 + 1));
  r.SetField(40, "012");
  r.SetField(41, std::to_string(n % 90 + 1));
  return r.Text();
}

inline std::string ExportText(const std::string& what, int n, const std::string& variant) {
  return what + " " + std::to_string(n) + " " + variant + std::string(120, 'x') + "\xFE" +
         "2024-03-0" + std::to_string(n % 9 + 1);
}

// Every record of the scenario with its three versions, person by person. Created persons'
// codes lie far above the known ones (the user's threshold is ExportCode(persons)).
inline std::vector<ExportRecord> ExportScenario(int persons, int notes, int created) {
  std::vector<ExportRecord> records;
  for (int i = 1; i <= persons + created; ++i) {
    const bool is_new = i > persons;
    const int n = is_new ? 50000 + i : i;
    const std::string code = ExportCode(n);
    const bool changed = !is_new && i % 5 == 0;
    const bool conflict = changed && i % 20 == 0;
    auto add = [&](const std::string& file, const std::string& key, const std::string& base,
                   const std::string& on_laptop, const std::string& on_server) {
      if (is_new) {
        records.push_back({file, key, "", "", on_laptop});
      } else {
        records.push_back({file, key, base, on_server, on_laptop});
      }
    };
    const std::string person = ExportPerson(n, "");
    add("CIVILAIDE", code, person, changed ? ExportPerson(n, "modifié") : person, person);
    const std::string dossier = ExportText("dossier", n, "");
    add("DOSSIER", code, dossier, dossier, dossier);
    for (int k = 1; k <= notes; ++k) {
      const std::string note = ExportText("note", n, "*" + std::to_string(k));
      add("NOTES", code + "*" + std::to_string(k), note, changed ? note + " complétée" : note,
          note);
    }
    const std::string budget = ExportText("budget", n, "");
    add("BUDGET", code, budget, changed ? budget + " portable" : budget,
        conflict ? budget + " bureau" : budget);
  }
  return records;
}

inline void ExportCheck(int status, const std::string& what) {
  if (status != 0) throw std::runtime_error(what + ": status " + std::to_string(status));
}

// Makes the files of both accounts and writes the scenario: the office's files, reference
// copies, register, parameters and counters; the laptop's files. `persons` known persons.
inline void LoadExportScenario(db::Store& server, db::Store& laptop,
                               const std::vector<ExportRecord>& records, int persons) {
  const std::string user = kExportUser;
  for (const std::string file : kExportFiles) {
    ExportCheck(server.CreateFile(file), "file " + file);
    ExportCheck(server.CreateFile(file + "_" + user), "file " + file);
    ExportCheck(laptop.CreateFile(file), "laptop file " + file);
  }
  for (const std::string file : {"SDEXPORTAIDES", "SDPARAMEXPORT", "COMPTEUR", "COMPTEUR_BENCH"})
    ExportCheck(server.CreateFile(file), "file " + file);
  for (const std::string file : {"SECTEUR", "AGENDA"})
    ExportCheck(laptop.CreateFile(file), "laptop file " + file);
  ExportCheck(server.Begin(), "begin");
  ExportCheck(laptop.Begin(), "begin");
  ExportCheck(server.Write("SDPARAMEXPORT", "PARAMETRES", "export"), "parameters");
  ExportCheck(server.Write("SDPARAMEXPORT", "AIDE",
                           db::FromVisible("CIVILAIDE]état civil]]^DOSSIER]dossier]]^"
                                           "NOTES]notes]SELECT]^BUDGET]budget]]N")),
              "parameters");
  ExportCheck(server.Write("SDPARAMEXPORT", "PLANNING", "AGENDA"), "parameters");
  db::DynArray counter;
  counter.SetField(11, kFirstCounter);
  ExportCheck(server.Write("COMPTEUR", "999", counter.Text()), "counter");
  counter.SetField(11, ExportCode(persons));
  ExportCheck(server.Write("COMPTEUR_" + user, "999", counter.Text()), "counter");
  for (const ExportRecord& r : records) {
    if (!r.reference.empty()) {
      ExportCheck(server.Write(r.file + "_" + user, r.key, r.reference), "reference");
      ExportCheck(server.Write(r.file, r.key, r.server), "office");
      if (r.file == "CIVILAIDE")
        ExportCheck(server.Write("SDEXPORTAIDES", r.key, user + "\xFE" + "20000"), "register");
    }
    ExportCheck(laptop.Write(r.file, r.key, r.laptop), "laptop");
  }
  ExportCheck(server.Commit(), "commit");
  ExportCheck(laptop.Commit(), "commit");
}

}  // namespace cortevane::bench
