// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>

// Asks the engine to stop playback and waits a bounded time.
void MainWindow::stopRequest() {}
// The 45 ms tick: counter, cursor, meters, watchdog, progress.
void MainWindow::takeSeveralHundredMili() {}
// The one-shot first-information box.
void MainWindow::showFirstInformationPopup() {}

// Slots the signal wiring reaches; their pieces fill them in.
void MainWindow::transactionStarted(int) {}                // a play or export job began
void MainWindow::allTransactionsDone(int) {}               // a job ended: result and messages
void MainWindow::repeatModeTriggered(bool) {}              // repeat play on/off

// The transport and the skips, which the keys call.
void MainWindow::timeSkip(int) {}
void MainWindow::markSkip(int) {}
void MainWindow::on_playButton_clicked() {}
void MainWindow::on_stopButton_clicked() {}
