// Main-window operations whose work belongs to later pieces of the window:
// declared so that construction, wiring and shut-down can call them, and
// moved to their own files when they are built.
#include "app/mainwindow.h"

#include <QEvent>

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

// Slots the signal wiring reaches; their pieces fill them in.
void MainWindow::transactionStarted(int) {}                // a play or export job began
void MainWindow::allTransactionsDone(int) {}               // a job ended: result and messages
void MainWindow::waveFormPreparedMain(int, bool) {}        // an overview is ready to draw
void MainWindow::trackEditParamChanged(int) {}             // the view's in/out handles moved
void MainWindow::pointMoved() {}                           // redraw after a handle move
void MainWindow::trackMousePressed(QMouseEvent *, int) {}  // cursor placing
void MainWindow::digitFrameChanged(int) {}                 // counter sub-frame digits
void MainWindow::selectInMonitorEn(bool) {}                // input monitoring on/off
void MainWindow::waveSliderPressed() {}                    // scrolling by the bar starts
void MainWindow::waveSliderReleased() {}                   // scrolling by the bar ends
void MainWindow::timeCounterEnterPressed() {}              // locate to the typed time
void MainWindow::timeCounterEscapePressed() {}             // drop the typed time
void MainWindow::repeatModeTriggered(bool) {}              // repeat play on/off
void MainWindow::counterTimeTriggered(bool) {}             // counter shows time
void MainWindow::counterSampleTriggered(bool) {}           // counter shows samples
void MainWindow::counterTimecodeTriggered(bool) {}         // counter shows timecode
void MainWindow::selectEqHFmode(bool) {}                   // equaliser high-frequency mode
void MainWindow::frameRate23Triggered(bool) {}             // counter frame rates
void MainWindow::frameRate24Triggered(bool) {}
void MainWindow::frameRate25Triggered(bool) {}
void MainWindow::frameRate2997DFTriggered(bool) {}
void MainWindow::frameRate2997NDFTriggered(bool) {}
void MainWindow::frameRate30DFTriggered(bool) {}
void MainWindow::frameRate30NDFTriggered(bool) {}
void MainWindow::widgetsKeyPressed(QKeyEvent *) {}                     // transport and in/out keys
void MainWindow::tagParamConfirmed() {}                                // the tag editor's result
void MainWindow::flac2wavCompleted(tFlac2WavMessages *) {}             // FLAC decoded: open it
void MainWindow::selectChannelOfPolyEvent(tPoly2MonosteMsgParam *) {}  // split the chosen channels
void MainWindow::poly2monosteRebuildEvent(tPoly2MonosteMessages *) {}  // split done: open it
void MainWindow::recStopped() {}                                       // recording ended: open it
void MainWindow::editModeClicked(bool) {}                             // stereo / multi-track switch
void MainWindow::actionSaveClicked(bool) {}                           // save a project
void MainWindow::actionLoadClicked(bool) {}                           // load a project
void MainWindow::actionCreateClicked(bool) {}                         // new project
void MainWindow::trackEditParamChangeEvent(tWaveEditParam *, int) {}  // a track's gain envelope
