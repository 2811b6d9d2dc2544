// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>

// The transport's skips, which the keys call.
void MainWindow::timeSkip(int) {}
void MainWindow::markSkip(int) {}
