// Mod_Var: the program-wide state. One object, made by main() before anything else and passed
// by reference to whoever needs it, instead of globals: every window sees the same two
// sessions and the same configuration values, and each test makes its own.
//
// Everything lives for the whole run and is never replaced. The sessions are made empty (not
// connected, no property set), the laptop's first; the base choice sets their account paths
// and hosts, identification connects them. The configuration values are those read from
// Cortevane.ini.
#pragma once

#include <string>

#include "db/dyn_array.h"
#include "db/session.h"

namespace cortevane::app {

struct Mod_Var {
  db::Session Ses_Autonome;       // the laptop's base, "Base autonome"
  db::Session Ses_Serveur;        // the office base, "Base serveur"
  std::string Nom_Utilisateur;    // the name typed at identification, in upper case
  std::string W_Serveur;          // host of the laptop's database server
  std::string W_ServeurDistant;   // host of the office server
  db::DynArray W_Bases;           // field i: account path of the i-th laptop base
  db::DynArray W_BasesDistantes;  // field i: value 1 account path, value 2 name
};

}  // namespace cortevane::app
