// The one place where the main window meets the import window and the export.
#pragma once

#include "app/mdi_menu.h"

namespace cortevane::app {

struct Mod_Var;

// The jobs of the main window for this run, made when the main window opens (the user is
// identified by then). `var` and `ui` outlive the main window.
MainWindowJobs MakeJobs(Mod_Var& var, ui::Ui& ui);

}  // namespace cortevane::app
