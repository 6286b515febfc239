// The world an export runs in, built on real embedded stores in a temporary folder: an office
// account with the register, the parameters, both counters, three exported files and their
// reference copies; a laptop account holding the same files, SECTEUR, a planning file and the
// register pointer; a drive C: for scanned documents; a scripted Ui.
//
// Exported files (record "AIDE"): CIVILAIDE (one record a person, user asked), NOTES (several
// records a person, keys code + suffix, user asked), BUDGET (one record a person, value 4 "N":
// written without asking). Planning: AGENDA. The user's threshold is 00100, the common counter
// 00150: laptop codes above 00100 are persons created on the laptop.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "db/session.h"
#include "db/status.h"
#include "db/store.h"
#include "export/mod_exportation.h"
#include "ui/scripted_ui.h"

namespace cortevane::exporting::testing {

// A person record of CIVILAIDE as shown by ToVisible: surname in field 2, first name in 3,
// sector code in 40, `extra` in field 41.
std::string Person(std::string_view surname, std::string_view first_name, std::string_view sector,
                   std::string_view extra = "");

// A counter record "999" whose field 11 is `field11`.
std::string Counter(std::string_view field11);

// Creates an account folder (server or laptop) and connects `session` to it without a
// password check: sessions are attached to the store directly.
void ConnectAccount(db::Session& session, const std::filesystem::path& folder, bool server);

// Builds the office account's files for `user` (creating the account when `create`).
void SetUpServer(db::Session& server, const std::string& user);
// Builds a laptop account's files, its register pointer aiming at `server`.
void SetUpLaptop(db::Session& laptop, const db::Session& server);

// Record helpers, with records written and read in ToVisible form. Get gives "-" when there is
// no record; Dump gives "key=record" lines in key order, joined by " | ".
void Put(db::Session& session, std::string_view file, std::string_view key,
         std::string_view visible);
std::string Get(db::Session& session, std::string_view file, std::string_view key);
std::string Dump(db::Session& session, std::string_view file);
void Drop(db::Session& session, std::string_view file);

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A person taken out by the import: the same record on the server, in the reference copy
  // and on the laptop, and the user's registration.
  void Imported(std::string_view code, std::string_view person);
  // A several-records NOTES record taken out with its person.
  void ImportedNote(std::string_view key, std::string_view note);
  // A scanned-documents folder of the laptop holding one file.
  std::filesystem::path DocumentFolder(std::string_view code, std::string_view file = "scan.pdf");

  // Answers Yes to the start question, then `answers` to the coming questions, and runs.
  void Run(std::initializer_list<int> answers = {});

  // The boxes shown, one a line as style|title|text, carriage returns and line feeds shown as
  // \r and \n; the final box without its summary line.
  std::string Boxes() const;
  // The Ui's log (ScriptedUi::LogText) without the final box's summary line.
  std::string Log() const;
  // The last box's text (the final box without its summary line).
  std::string LastBox() const;

  std::filesystem::path root_;
  std::filesystem::path drive_c_;
  std::string user_ = "ALICE";
  db::Session server_;
  db::Session laptop_;
  ui::ScriptedUi ui_;
  std::unique_ptr<Mod_Exportation> export_;
};

inline const std::string kFinalText =
    "Exportation des données de l'ordinateur portable vers le serveur terminée.";
inline const std::string kFinalBox = "64|Message CORTEVANE|" + kFinalText;
inline const std::string kStartBox =
    "52|Message CORTEVANE|Souhaitez-vous démarrer le traitement d'exportation des données de "
    "l'ordinateur portable vers le serveur ?";

}  // namespace cortevane::exporting::testing
