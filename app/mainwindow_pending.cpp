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
// Dropped files open as tracks.
void MainWindow::dragEnterEvent(QDragEnterEvent *event) { QMainWindow::dragEnterEvent(event); }
void MainWindow::dropEvent(QDropEvent *event) { QMainWindow::dropEvent(event); }

// Slots the signal wiring reaches; their pieces fill them in.
void MainWindow::transactionStarted(int) {}                // a play or export job began
void MainWindow::allTransactionsDone(int) {}               // a job ended: result and messages
void MainWindow::waveFormPreparedMain(int, bool) {}        // an overview is ready to draw
void MainWindow::pointMoved() {}                           // redraw after a handle move
void MainWindow::trackMousePressed(QMouseEvent *, int) {}  // cursor placing
void MainWindow::waveSliderPressed() {}                    // scrolling by the bar starts
void MainWindow::waveSliderReleased() {}                   // scrolling by the bar ends
void MainWindow::repeatModeTriggered(bool) {}              // repeat play on/off
void MainWindow::tagParamConfirmed() {}                                // the tag editor's result
void MainWindow::flac2wavCompleted(tFlac2WavMessages *) {}             // FLAC decoded: open it
void MainWindow::selectChannelOfPolyEvent(tPoly2MonosteMsgParam *) {}  // split the chosen channels
void MainWindow::poly2monosteRebuildEvent(tPoly2MonosteMessages *) {}  // split done: open it
void MainWindow::editModeClicked(bool) {}                             // stereo / multi-track switch
void MainWindow::trackEditParamChangeEvent(tWaveEditParam *, int) {}  // a track's gain envelope

// Opening files, tracks, the waveform display and the transport: the keys,
// the project load and the recording call them.
void MainWindow::openFile(QString, int) {}
void MainWindow::deleteAllTracks() {}
void MainWindow::on_zoomInTimeButton_clicked() {}
void MainWindow::on_zoomOutTimeButton_clicked() {}
void MainWindow::timeSkip(int) {}
void MainWindow::markSkip(int) {}
void MainWindow::drawWaveFrom() {}
void MainWindow::waveFormRedraw(long long, tRedrawMode) {}
void MainWindow::on_playButton_clicked() {}
void MainWindow::on_stopButton_clicked() {}
