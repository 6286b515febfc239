// The list of past runs read back from the journal folder: newest first, imports and exports
// told apart, their counts taken from the lines the runs write, other files left out.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/journal.h"
#include "support/temp_account.h"

namespace cortevane::platform {
namespace {

TEST(JournalListTest, RunsNewestFirstWithTheirCounts) {
  test_support::TempFolder folder;
  const std::string path = (folder.path() / "").string();
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder.path() / name, std::ios::binary) << text;
  };
  write("2026-12-08_09-41-21.txt",
        "09:41:21 Exportation des données de l'ordinateur portable vers le serveur, commencée "
        "le 08/12/2026 à 09:41:21\r\n09:41:22 Aidé 00042 DUPONT Anne\r\n09:41:22   Question "
        "sur Notes (NOTES 00042A) : réponse Oui\r\n09:41:23 Aidé 00043 MARTIN Paul\r\n"
        "09:41:24   Documents non copiés : C:\\KESTA\\DOCSCAN\\00043 (disque plein)\r\n"
        "09:41:25 Exportation terminée le 08/12/2026 à 09:41:25.\r\n");
  write("importation_2026-12-09_14-30-00.txt",
        "14:30:00 Importation de ALICE : 2 aidés choisis\r\n14:30:00   Aidé 00042\r\n14:30:00   "
        "Aidé 00043\r\n14:30:01 2 aidés importés le 09/12/2026 à 14:30\r\n");
  write("importation_2026-12-07_08-00-00.txt",
        "08:00:00 Importation de ALICE : 1 aidé choisi\r\n08:00:00   Aidé 00007\r\n"
        "08:00:01 Importation échouée le 07/12/2026 à 08:00 (33006) : aucun aidé importé\r\n");
  // A failed export's end line, then the line naming its cause.
  write("2026-12-09_16-00-00.txt",
        "16:00:00 Aidé 00042\r\n16:00:01 Exportation interrompue le 09/12/2026 à 16:00:01 : "
        "Problème d'ouverture de fichier : NOTES( 32001)\r\n16:00:01 La base de l'ordinateur "
        "portable est endommagée : un de ses fichiers manque.\r\n");
  write("notes.txt", "not a journal");
  write("2026-12-09_10-00-00.log", "not a journal");

  std::string seen;
  for (const JournalRun& run : ReadJournals(path)) {
    seen += run.started + (run.import ? " import " : " export ") + std::to_string(run.persons) +
            "/" + std::to_string(run.questions) + "/" + std::to_string(run.failures) + " " +
            run.outcome + "\n";
  }
  EXPECT_EQ(seen,
            "09/12/2026 16:00:00 export 1/0/1 Exportation interrompue le 09/12/2026 à 16:00:01 : "
            "Problème d'ouverture de fichier : NOTES( 32001)\n"
            "09/12/2026 14:30:00 import 2/0/0 2 aidés importés le 09/12/2026 à 14:30\n"
            "08/12/2026 09:41:21 export 2/1/1 Exportation terminée le 08/12/2026 à 09:41:25.\n"
            "07/12/2026 08:00:00 import 1/0/1 Importation échouée le 07/12/2026 à 08:00 (33006) : "
            "aucun aidé importé\n");
  EXPECT_TRUE(ReadJournals((folder.path() / "absent" / "").string()).empty());
}

}  // namespace
}  // namespace cortevane::platform
