// The main window's side of the mixer and equaliser records: binding each
// equaliser window to its record, opening the windows, passing their on/off
// and close reports on, the default bands of a track's equaliser, and each
// track's start delay.
#include "app/mainwindow.h"

#include <QCloseEvent>
#include <QInputDialog>

#include <algorithm>

#include "app/jobrecord.h"
#include "app/mixstate.h"
#include "app/settingsfile.h"
#include "editing/cheditstrip.h"
#include "engine/engineparams.h"
#include "engine/mixerthread.h"
#include "mixer/dialogpeq.h"
#include "mixer/eqcontrols.h"
#include "ui_mainwindow.h"

namespace {

bool isTrackSlot(int track) { return track >= 0 && track < kMainTrackSlots; }

// Binds a window to its record and a sampling rate and shows it with every
// control up to date.
void openEqWindow(DialogPeq *window, tPEQ *peq, int rate, double *monitorVolumeDb) {
    window->sendPeqParam(peq, rate, monitorVolumeDb);
    window->setEqParamOfWidgetEq();
    window->setEqParamOfDialogEq();
    window->show();
    window->refresh();
}

}  // namespace

void MainWindow::asignEQParameterTrack(int track) {
    if (!isTrackSlot(track) || !mTracks[track].peqDialog || !mTracks[track].peq) return;
    DialogPeq *window = mTracks[track].peqDialog;
    // Pointer-to-member connections: a report whose argument types drift
    // apart from the slot's fails to compile instead of never arriving.
    // Binding again after a track deletion must not double the reports.
    connect(window, &DialogPeq::windowClosed, this, &MainWindow::eqWindowCloseEvent, Qt::UniqueConnection);
    connect(window, &DialogPeq::selectAllEqOnOff, this, &MainWindow::selAllEqOnOff, Qt::UniqueConnection);
    window->mTrackId = track;
    window->setWindowTitle(QStringLiteral("Parametric Equalizer - TRACK ") + QString::number(track + 1));
    mTracks[track].peq->allOn = &window->mAllEqOn;
}

void MainWindow::releaseEQParameterTrack(int track) {
    if (!isTrackSlot(track) || !mTracks[track].peqDialog) return;
    DialogPeq *window = mTracks[track].peqDialog;
    disconnect(window, &DialogPeq::windowClosed, this, &MainWindow::eqWindowCloseEvent);
    disconnect(window, &DialogPeq::selectAllEqOnOff, this, &MainWindow::selAllEqOnOff);
}

void MainWindow::eqIndicatorClicked() {
    DialogPeq *window = mMasterPeqDialog;
    tPEQ *peq = mMasterPeq;
    if (!window || !peq) return;
    if (mCore.mMixerThread) mCore.mMixerThread->setMasterAnalysis(true);
    openEqWindow(window, peq, mPlayFs, &mMonitorVolumeDb);
}

void MainWindow::on_pushCh1PEQ_clicked() {
    eqIndicatorClicked();
    if (DialogPeq *window = mMasterPeqDialog) window->raise();
}

void MainWindow::mixerEqButtonClicked(int track) {
    if (!isTrackSlot(track) || !mTracks[track].peqDialog || !mTracks[track].peq) return;
    DialogPeq *window = mTracks[track].peqDialog;
    openEqWindow(window, mTracks[track].peq, mPlayFs, &mMonitorVolumeDb);
    window->raise();
    emit chEqWindowOpended(track);
}

void MainWindow::selAllEqOnOff(int on, int id) {
    if (id == kMainEqMasterId) {
        ui->labelEqIndicator->changeEqIndicator(on != 0);
        emit allEqOnOffToMixer(on != 0, id);
    } else if (isTrackSlot(id)) {
        emit allEqOnOffToMixer(on != 0, id);
    }
}

void MainWindow::eqWindowCloseEvent(int id, QCloseEvent *) { emit eqWindowClosed(id); }

void MainWindow::initEqParam() {
    if (tPEQ *master = mMasterPeq) {
        for (int b = kEqBands - 1; b >= 0; --b) master->band[b].initParam();
    }
    for (int t = 0; t < kMainTrackSlots; ++t) {
        if (!mTracks[t].peq) continue;
        for (int b = kEqBands - 1; b >= 0; --b) mTracks[t].peq->band[b].initParam();
    }
    // The engine runs its own copies of the filters.
    gAudioThread_clearAllEqHistory();
}

void MainWindow::initEQParams(int track) {
    if (!isTrackSlot(track) || !mTracks[track].peq) return;
    mixState_applyEqDefaults(mTracks[track].peq, gEditorDefaults.eqBand, gEditorDefaults.eqAllOn,
                             gEditorDefaults.eqTotalGainDb);
}

void MainWindow::autoSetupMixerTrackParam(int track) {
    if (!isTrackSlot(track)) return;
    tMixChParam &ch = mMixParam.ch[track];
    mixState_newTrackSlot(&ch, ch.channels);
}

void MainWindow::ChDelayValueChangeEvent(int track, double ms) {
    if (!isTrackSlot(track)) return;
    mMixParam.ch[track].delayMs = ms;
    // The delayed track moves along the time axis of both views.
    waveFormRedraw(mViewOffset, kRedrawModeFull);
    if (mChEditStrip) {
        const int row = mChEditStrip->searchDrawTrack(track);
        if (row >= 0) mChEditStrip->setDelaySample(jobRecord_startOffset(mTracks[track].fileInfo.sampleRate, ms), row);
    }
}

void MainWindow::setDelayTimeClickEvent() {
    const int count = std::clamp<int>(mMixParam.trackCount, 1, kMainTrackSlots);
    const int height = std::max(1, ui->widgetTrack1->height());
    // A position outside the view counts as the nearest track.
    const int track = std::clamp(int(int64_t(mTrackMousePos.y()) * count / height), 0, count - 1);
    const QString number = QString::number(track + 1);
    bool ok = false;
    const QString text =
        QInputDialog::getText(this, QStringLiteral("Please set Delay of Track ") + number,
                              QStringLiteral("Delay Time[msec] of Track ") + number + QStringLiteral(" = "),
                              QLineEdit::Normal, QString::number(int64_t(mMixParam.ch[track].delayMs)), &ok);
    if (!ok) return;
    bool isNumber = false;
    double ms = text.trimmed().toDouble(&isNumber);
    if (!isNumber) ms = 0.0;
    mMixParam.ch[track].delayMs = ms;
    emit delayTimeChanged(track, ms);
}
