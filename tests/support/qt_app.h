// One QApplication for a whole test program, made on first use and kept until the process
// ends (Qt allows one per process, and widgets need it). Tests run with
// QT_QPA_PLATFORM=offscreen, so nothing reaches a screen.
#pragma once

#include <QApplication>

namespace cortevane::testing {

inline QApplication& EnsureQApplication() {
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
