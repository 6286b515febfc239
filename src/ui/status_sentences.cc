#include "ui/status_sentences.h"

#include <cerrno>
#include <cstring>

#include "db/status.h"

namespace cortevane::ui {
namespace {

struct Sentence {
  int status;
  const char* text;
};

constexpr Sentence kDatabaseSentences[] = {
    {db::kLaptopNotEmpty,
     "Le portable contient encore des dossiers d'aidés : faites d'abord une exportation."},
    {db::kServerUnreachable,
     "La base du bureau ne peut pas être jointe : vérifiez la liaison avec le bureau, puis "
     "recommencez."},
    {db::kOutcomeUnknown,
     "La liaison avec le serveur a été perdue avant qu'il confirme l'écriture : elle a pu être "
     "faite ou non."},
    {db::kNotConnected,
     "La liaison avec la base a été coupée : quittez le programme, puis relancez-le."},
    {db::kLaptopNotConnected,
     "La base du portable n'est pas connectée : quittez le programme, puis relancez-le."},
    {db::kLockTimeout,
     "Un enregistrement est utilisé par un autre utilisateur : réessayez dans quelques "
     "instants."},
    {db::kBaseBusy,
     "Base occupée : un autre programme l'utilise en ce moment ; réessayez dans quelques "
     "instants."},
    {db::kReadOnlyAccount,
     "La base est en lecture seule (support protégé en écriture) : rien ne peut y être "
     "modifié."},
    {db::kConditionFailed,
     "L'enregistrement a été modifié sur la base par un autre utilisateur depuis sa lecture."},
    {db::kMissingParameters,
     "Les paramètres d'exportation du bureau (fichier SDPARAMEXPORT) sont incomplets."},
};

// The system's reasons a folder copy meets, in French; others keep the system's own text.
constexpr Sentence kSystemReasons[] = {
    {EACCES, "accès refusé"},
    {EPERM, "accès refusé"},
    {ENOSPC, "le disque est plein"},
    {EDQUOT, "le quota du disque est atteint"},
    {EROFS, "le disque est en lecture seule"},
    {ENOTDIR, "un fichier porte le nom d'un dossier du chemin"},
    {EISDIR, "un dossier porte le nom d'un fichier à écrire"},
    {ENOENT, "dossier introuvable"},
    {EEXIST, "un fichier de ce nom existe déjà"},
    {ENAMETOOLONG, "le nom est trop long"},
    {EIO, "erreur de lecture ou d'écriture du disque"},
    {EINVAL, "la destination est à l'intérieur du dossier copié"},
    {ELOOP, "un lien symbolique se trouve sur le chemin de destination ; il n'est pas suivi"},
    {ENXIO, "ce chemin ne mène à aucun dossier de ce poste (partage réseau non relié ?)"},
    {EMFILE, "trop de fichiers ouverts"},
    {ENFILE, "trop de fichiers ouverts"},
};

}  // namespace

std::string StatusSentence(int status) {
  if (status >= 30000) {
    for (const Sentence& s : kDatabaseSentences)
      if (s.status == status) return s.text;
    return {};
  }
  if (status <= 0) return {};
  std::string reason;
  for (const Sentence& s : kSystemReasons) {
    if (s.status == status) {
      reason = s.text;
      break;
    }
  }
  if (reason.empty()) reason = std::strerror(status);
  return "Le dossier ne peut pas être écrit : " + reason + ".";
}

std::string WithStatusSentence(std::string_view first_line, int status) {
  std::string text(first_line);
  const std::string sentence = StatusSentence(status);
  if (!sentence.empty()) text += "\r\n" + sentence;
  return text;
}

}  // namespace cortevane::ui
