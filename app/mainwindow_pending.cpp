// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>

// Counter text of a position (the bare sample count until the counter's
// modes are built), the mark name and the cursor line.
void MainWindow::prepareTimeInfoDisp(QString &text, int64_t position, int) { text = QString::number(position); }
void MainWindow::showMarkName(int64_t) {}
double MainWindow::calcCurrentCursor(double fraction) { return fraction; }
// Track selection clicks.
void MainWindow::mousePressEvent(QMouseEvent *event) { QMainWindow::mousePressEvent(event); }
// Transport and in/out keys.
void MainWindow::keyPressEvent(QKeyEvent *event) { QMainWindow::keyPressEvent(event); }

// Slots the signal wiring reaches; their pieces fill them in.
void MainWindow::trackEditParamChanged(int) {}      // the view's in/out handles moved
void MainWindow::digitFrameChanged(int) {}          // counter sub-frame digits
void MainWindow::selectInMonitorEn(bool) {}         // input monitoring on/off
void MainWindow::timeCounterEnterPressed() {}       // locate to the typed time
void MainWindow::timeCounterEscapePressed() {}      // drop the typed time
void MainWindow::counterTimeTriggered(bool) {}      // counter shows time
void MainWindow::counterSampleTriggered(bool) {}    // counter shows samples
void MainWindow::counterTimecodeTriggered(bool) {}  // counter shows timecode
void MainWindow::selectEqHFmode(bool) {}            // equaliser high-frequency mode
void MainWindow::frameRate23Triggered(bool) {}      // counter frame rates
void MainWindow::frameRate24Triggered(bool) {}
void MainWindow::frameRate25Triggered(bool) {}
void MainWindow::frameRate2997DFTriggered(bool) {}
void MainWindow::frameRate2997NDFTriggered(bool) {}
void MainWindow::frameRate30DFTriggered(bool) {}
void MainWindow::frameRate30NDFTriggered(bool) {}
void MainWindow::widgetsKeyPressed(QKeyEvent *) {}  // transport and in/out keys
void MainWindow::recStopped() {}                    // recording ended: open it
void MainWindow::actionSaveClicked(bool) {}         // save a project
void MainWindow::actionLoadClicked(bool) {}         // load a project
void MainWindow::actionCreateClicked(bool) {}       // new project
