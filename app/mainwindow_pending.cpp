// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>
