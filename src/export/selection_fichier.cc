// The keys the export works on, selected through DBA.SELECT on the laptop session: the
// laptop's persons, one person's records in a several-records file, and the user's remaining
// registrations (the laptop's SDEXPORTAIDES stands for the server's register).
#include <string>

#include "export/mod_exportation.h"
#include "export/person_plan.h"
#include "ui/status_sentences.h"

namespace cortevane::exporting {

bool Mod_Exportation::Selection_Fichier(const std::string& fichier, const std::string& prefixe) {
  // A failure leaves the list empty, and the caller ends the export rather than take that
  // empty list for a real one.
  db::DynArray& liste = fichier == "CIVILAIDE" ? W_ListeAides : W_ListeCles;
  if (int status = SelectKeys(Ses_Autonome, fichier, prefixe, Nom_Utilisateur, &liste)) {
    return Echec(
        ui::WithStatusSentence("Error Code " + std::to_string(status), status, Lieu(Ses_Autonome)));
  }
  return true;
}

}  // namespace cortevane::exporting
