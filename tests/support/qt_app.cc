#include "support/qt_app.h"

// Font configuration keeps a few cached blocks until the process ends, which the leak checker
// of sanitized builds reports on every widget test. They are the library's, not ours; every
// other leak is still reported. (Defined here, beside EnsureQApplication, so that every test
// program with widgets links it.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace cortevane::testing {

QApplication& EnsureQApplication() {
  if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    return *existing;
  }
  static int argc = 1;
  static char name[] = "cortevane-tests";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  app->setQuitOnLastWindowClosed(false);
  return *app;
}

}  // namespace cortevane::testing
