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
  for (int status : {int{db::kServerUnreachable}, int{db::kReadOnlyAccount}, int{db::kFileBusy},
                     int{db::kPointerTargetAbsent}, EACCES, ENOSPC})
    EXPECT_FALSE(StatusSentence(status).empty()) << status;
  // A system error without a French reason keeps the system's own text.
  EXPECT_EQ(StatusSentence(ETXTBSY),
            "Le dossier ne peut pas être écrit : " + std::string(std::strerror(ETXTBSY)) + ".");
  // Numbers without a sentence: the line stays as it was.
  for (int status : {0, -1, int{db::kQuerySyntax}, 30001, 39999})
    EXPECT_EQ(WithStatusSentence("Error Code 1", status), "Error Code 1") << status;
}

// A damaged base is named damaged (never a missing file or a bare number), with the command
// that checks it when it is the laptop's; a full disk is named full.
TEST(StatusSentencesTest, DamageAndFullDiskAreNamedAsSuch) {
  const Place laptop{Place::kLaptop, "C:\\KESTA\\BASE", "localhost"};
  const Place office{Place::kOffice, "kesta", "bureau"};
  const std::string check =
      " Vérifiez-la avec : cortevane-admin --account \"C:\\KESTA\\BASE\" account check";
  struct Case {
    int status;
    Place place;
    std::string sentence;
  };
  const Case cases[] = {
      {db::kAccountCorrupt, laptop,
       "La base de l'ordinateur portable est endommagée : son fichier ne peut pas être lu." +
           check},
      {db::kNoSuchFile, laptop,
       "La base de l'ordinateur portable est endommagée : un de ses fichiers manque." + check},
      {db::kNoSuchRoutine, office,
       "La base du bureau est endommagée : un programme catalogué y manque. Prévenez le bureau."},
      {db::kQueryUnknownFile, {}, ""},  // which base is not known: the number stays alone
      {db::kDiskFull, laptop,
       "Disque plein : libérez de la place pour la base de l'ordinateur portable, puis "
       "recommencez."},
      {ENOSPC, {}, "Le dossier ne peut pas être écrit : disque plein."},
      {db::kAccountNotFound, office,
       "La base du bureau « kesta » est introuvable sur le serveur « bureau »."},
  };
  for (const Case& c : cases) EXPECT_EQ(StatusSentence(c.status, c.place), c.sentence);
}

}  // namespace
}  // namespace cortevane::ui
