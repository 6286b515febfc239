// Qt draws some texts itself: the context menu of text fields, the standard buttons of
// dialogs, the file and colour dialogs. The program speaks French, so Qt's own French
// translations are installed before the first window is made.
#pragma once

class QCoreApplication;

namespace cortevane::app {

// Installs Qt's French translations (qtbase_fr, from Qt's translations folder) in the
// application, which owns them. False when they cannot be loaded (the package that holds them
// is missing): Qt's own texts then stay in English and the program runs on.
bool InstallQtFrench(QCoreApplication& application);

}  // namespace cortevane::app
