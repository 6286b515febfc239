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
    {db::kNoPrimary,
     "Aucun serveur du bureau n'accepte l'écriture : le serveur principal est arrêté ou en "
     "cours de remplacement. Recommencez dans quelques minutes ; si cela dure, prévenez le "
     "bureau."},
    {db::kOutcomeUnknown,
     "La liaison avec le serveur a été perdue avant qu'il confirme l'écriture : elle a pu être "
     "faite ou non."},
    {db::kServerUnverified,
     "Le serveur du bureau n'a pas pu être authentifié : rien n'a été envoyé."},
    {db::kNotConnected,
     "La liaison avec la base a été coupée : quittez le programme, puis relancez-le."},
    {db::kLaptopNotConnected,
     "La base du portable n'est pas connectée : quittez le programme, puis relancez-le."},
    {db::kLockTimeout,
     "Un enregistrement est utilisé par un autre utilisateur : réessayez dans quelques "
     "instants."},
    {db::kFileBusy,
     "Un fichier est occupé sur le serveur (un administrateur y travaille) : réessayez dans "
     "quelques instants."},
    {db::kPointerTargetAbsent,
     "Le registre des aidés du portable désigne une base du bureau à laquelle le programme "
     "n'est pas connecté : relancez le programme connecté à la base du bureau utilisée à "
     "l'importation (fichier Cortevane.ini), puis recommencez."},
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
    {ENOSPC, "disque plein"},
    {EFBIG, "le fichier est trop grand pour le disque de destination"},
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

// "la base de l'ordinateur portable", "la base du bureau" or "la base".
std::string BaseName(const Place& place) {
  switch (place.base) {
    case Place::kLaptop:
      return "la base de l'ordinateur portable";
    case Place::kOffice:
      return "la base du bureau";
    default:
      return "la base";
  }
}

std::string Capitalised(std::string text) {
  if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 32);
  return text;
}

std::string Quoted(std::string_view text) { return "« " + std::string(text) + " »"; }

// A base whose file or catalogue is missing or unreadable is damaged, whatever the operation
// that met it; an embedded base can be checked by the administration tool, an office base on
// its server only by the office.
std::string Damaged(const Place& place, std::string_view what) {
  std::string text = Capitalised(BaseName(place)) + " est endommagée : " + std::string(what);
  if (place.base == Place::kOffice) return text + " Prévenez le bureau.";
  if (place.path.empty()) return text;
  return text + " Vérifiez-la avec : cortevane-admin --account \"" + place.path +
         "\" account check";
}

// The sentences that name the base concerned; empty for the others, and for a failure whose
// base is not known (its number alone says less than a guess would mislead).
std::string PlacedSentence(int status, const Place& place) {
  const std::string base = BaseName(place);
  if (place.base == Place::kUnknown && status != db::kDiskFull) return {};
  switch (status) {
    case db::kAccountNotFound:
      if (place.path.empty()) return Capitalised(base) + " est introuvable.";
      if (place.base == Place::kOffice)
        return Capitalised(base) + " " + Quoted(place.path) + " est introuvable sur le serveur " +
               Quoted(place.host) + ".";
      return Capitalised(base) + " est introuvable : le dossier " + Quoted(place.path) +
             " n'existe pas.";
    case db::kBadCredentials:
      return "Utilisateur inconnu ou mot de passe erroné pour " + base + ".";
    case db::kServerUnreachable:
      if (place.base == Place::kUnknown) return {};
      return "Le serveur " + Quoted(place.host) + " de " + base +
             " ne répond pas : vérifiez la liaison, puis recommencez.";
    case db::kRemoteHostForFolder:
      return Capitalised(base) + " " + Quoted(place.path) +
             " est un dossier de cet ordinateur : son serveur doit être « localhost », non " +
             Quoted(place.host) + ".";
    case db::kAccountCorrupt:
      return Damaged(place, "son fichier ne peut pas être lu.");
    case db::kNoSuchFile:
    case db::kQueryUnknownFile:
      return Damaged(place, "un de ses fichiers manque.");
    case db::kNoSuchRoutine:
      return Damaged(place, "un programme catalogué y manque.");
    case db::kDiskFull:
      return "Disque plein : libérez de la place pour " + base + ", puis recommencez.";
    default:
      return {};
  }
}

}  // namespace

std::string StatusSentence(int status, const Place& place) {
  if (status >= 30000) {
    if (std::string placed = PlacedSentence(status, place); !placed.empty()) return placed;
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

std::string ServerNotAuthenticatedSentence(db::AuthFailure why) {
  const char* reason = "la connexion chiffrée n'a pas pu être vérifiée";
  switch (why) {
    case db::AuthFailure::kNone:
      break;
    case db::AuthFailure::kNoEncryption:
      reason = "il ne propose pas de connexion chiffrée";
      break;
    case db::AuthFailure::kUnknownAuthority:
      reason = "son certificat n'est pas signé par l'autorité de certification du bureau";
      break;
    case db::AuthFailure::kWrongHostName:
      reason = "son certificat est établi pour un autre nom de serveur";
      break;
    case db::AuthFailure::kNoChannelBinding:
      reason = "il demande le mot de passe sans le lier à la connexion chiffrée";
      break;
  }
  return std::string("Le serveur du bureau n'a pas pu être authentifié : ") + reason + ".";
}

std::string BusyFileText(std::string_view file) {
  return "fichier " + std::string(file) + " occupé sur le serveur";
}

std::string WithStatusSentence(std::string_view first_line, int status, const Place& place) {
  std::string text(first_line);
  const std::string sentence = StatusSentence(status, place);
  if (!sentence.empty()) text += "\r\n" + sentence;
  return text;
}

}  // namespace cortevane::ui
