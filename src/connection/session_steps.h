// The two things done to the pair of sessions before the program can work: choosing the bases
// and connecting. Each is a fixed sequence of property settings whose order matters to the
// database client (and is checked by the tests), so each is written once, here, for any type
// with the Session setters: db::Session in the program, a recording double in tests.
#pragma once

#include <string>

#include "connection/configuration.h"

namespace cortevane::connection {

// The base pair for the laptop base at `position` (from 0) of the configuration's list:
// exactly these four settings, in this order. The office base is always the first one of the
// file, whichever laptop base was chosen.
template <class SessionT>
void Choix_Bases(SessionT& ses_autonome, SessionT& ses_serveur, const Configuration& c,
                 int position) {
  ses_autonome.SetAccountPath(c.W_Bases.Field(position + 1));
  ses_autonome.SetHostName(c.W_Serveur);
  ses_serveur.SetAccountPath(c.W_BasesDistantes.Value(1, 1));
  ses_serveur.SetHostName(c.W_ServeurDistant);
}

// Sets the connection properties of both sessions and connects them, laptop first each time.
// The office session is connected even when the laptop's failed, so that one try reports on
// both; the outcome is each session's Error().
template <class SessionT>
void Connection(SessionT& ses_autonome, SessionT& ses_serveur, const std::string& user_upper,
                const std::string& password) {
  ses_autonome.SetDataBaseType(2);
  ses_serveur.SetDataBaseType(2);
  ses_autonome.SetUserName(user_upper);
  ses_serveur.SetUserName(user_upper);
  ses_autonome.SetPassword(password);
  ses_serveur.SetPassword(password);
  ses_autonome.Connect();
  ses_serveur.Connect();
}

}  // namespace cortevane::connection
