// One QApplication for a whole test program, made on first use and kept until the process
// ends (Qt allows one per process, and widgets need it). Tests run with
// QT_QPA_PLATFORM=offscreen, so nothing reaches a screen.
#pragma once

#include <QApplication>

namespace cortevane::testing {

QApplication& EnsureQApplication();

}  // namespace cortevane::testing
