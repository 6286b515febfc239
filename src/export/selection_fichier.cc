// The keys the export works on, selected through DBA.SELECT on the laptop session: the
// laptop's persons, one person's records in a several-records file, and the user's remaining
// registrations (the laptop's SDEXPORTAIDES stands for the server's register).
#include <string>

#include "db/db_subroutine.h"
#include "db/routines.h"
#include "db/session.h"
#include "export/mod_exportation.h"
#include "export/rules.h"

namespace cortevane::exporting {

bool Mod_Exportation::Selection_Fichier(const std::string& fichier, const std::string& prefixe) {
  // The list is emptied first; a failure leaves it empty, and the caller ends the export
  // rather than take that empty list for a real one.
  db::DynArray& liste = fichier == "CIVILAIDE" ? W_ListeAides : W_ListeCles;
  liste = db::DynArray();

  db::DynArray requete;
  requete.SetField(1, SelectionSentence(fichier, prefixe, Nom_Utilisateur));
  requete.SetField(2, fichier);
  requete.SetField(3, "0");

  std::unique_ptr<db::DbSubroutine> routine = Ses_Autonome.Subroutine(db::kDbaSelect, 3);
  if (!routine) return Echec("Error Code " + std::to_string(Ses_Autonome.Error()));
  routine->ResetArgs();
  routine->SetArg(0, "");
  routine->SetArg(1, requete.Text());
  routine->Call();
  if (int status = routine->Error(); status != 0) {
    return Echec("Error Code " + std::to_string(status));
  }
  liste.SetText(routine->GetArg(2));
  return true;
}

}  // namespace cortevane::exporting
