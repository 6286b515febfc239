// The second line that explains a failure's number: one table for every box.
#include "ui/status_sentences.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "db/status.h"

namespace cortevane::ui {
namespace {

TEST(StatusSentencesTest, TheFailuresMetInUseAreExplainedOthersStayAlone) {
  EXPECT_EQ(WithStatusSentence("Impossible d'exécuter la commande : 33006", db::kLaptopNotEmpty),
            "Impossible d'exécuter la commande : 33006\r\nLe portable contient encore des "
            "dossiers d'aidés : faites d'abord une exportation.");
  EXPECT_EQ(WithStatusSentence("Error Code 32007", db::kLockTimeout),
            "Error Code 32007\r\nUn enregistrement est utilisé par un autre utilisateur : "
            "réessayez dans quelques instants.");
  EXPECT_EQ(WithStatusSentence("copie impossible (erreur 20)", ENOTDIR),
            "copie impossible (erreur 20)\r\nLe dossier ne peut pas être écrit : un fichier porte "
            "le nom d'un dossier du chemin.");
  EXPECT_NE(StatusSentence(db::kBaseBusy).find("Base occupée"), std::string::npos);
  for (int status : {int{db::kServerUnreachable}, int{db::kReadOnlyAccount}, EACCES, ENOSPC})
    EXPECT_FALSE(StatusSentence(status).empty()) << status;
  // A system error without a French reason keeps the system's own text.
  EXPECT_EQ(StatusSentence(ETXTBSY),
            "Le dossier ne peut pas être écrit : " + std::string(std::strerror(ETXTBSY)) + ".");
  // Numbers without a sentence: the line stays as it was.
  for (int status : {0, -1, int{db::kQuerySyntax}, 30001, 39999})
    EXPECT_EQ(WithStatusSentence("Error Code 1", status), "Error Code 1") << status;
}

}  // namespace
}  // namespace cortevane::ui
