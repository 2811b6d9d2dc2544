// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>

// The four groups of signal connections.
void MainWindow::makeConnectionsFirst() {}
void MainWindow::makeConnectionsSecond() {}
void MainWindow::makeConnectionsThird() {}
void MainWindow::makeConnectionsLast() {}
// Stops a track's waveform worker.
void MainWindow::stopWaveFormThread(int) {}
// Asks the engine to stop playback and waits a bounded time.
void MainWindow::stopRequest() {}
// The 45 ms tick: counter, cursor, meters, watchdog, progress.
void MainWindow::takeSeveralHundredMili() {}
// The one-shot first-information box.
void MainWindow::showFirstInformationPopup() {}
// Track selection clicks.
void MainWindow::mousePressEvent(QMouseEvent *event) { QMainWindow::mousePressEvent(event); }
// Transport and in/out keys.
void MainWindow::keyPressEvent(QKeyEvent *event) { QMainWindow::keyPressEvent(event); }
// Dropped files open as tracks.
void MainWindow::dragEnterEvent(QDragEnterEvent *event) { QMainWindow::dragEnterEvent(event); }
void MainWindow::dropEvent(QDropEvent *event) { QMainWindow::dropEvent(event); }
