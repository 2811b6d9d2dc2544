// The Project menu: saving the tracks with their mixer, equaliser and delay
// settings into a project file (".adl"), loading one back (every listed file
// opened as a track and given its settings) and creating an empty one.
//
// The project document always lists the loaded tracks' files (opening and
// removing tracks keep it so); saving adds each track's fader, pan, name,
// equaliser and delay, the master equaliser after the last track and the
// play rate.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

#include <cmath>

#include "engine/engineparams.h"
#include "mixer/chstrip.h"
#include "mixer/dialogpeq.h"
#include "mixer/eqcontrols.h"
#include "mixer/mixer.h"

namespace {

const char *const kProjectFilter = "Sonvex Editor Project Files (*.adl)";

// A load waits at most this long for the tracks' threads to stop.
constexpr int kReloadPollMs = 10;
constexpr int kReloadPolls = 300;

// The project's band order is EQ1 to EQ4, the equaliser's bands 3 to 0.
tProjectEQParams projectEqOf(const tPEQ *peq) {
    tProjectEQParams p{};
    if (!peq) return p;
    for (int i = 0; i < 4; ++i) {
        const peakEq &b = peq->band[3 - i];
        p.band[i] = tProjectEQBand{b.mBandOn, b.mFreq, b.mQ, b.mGain, static_cast<int>(b.mType)};
    }
    p.allOn = peq->allOn && *peq->allOn;
    p.allGain = peq->totalGainDb;
    return p;
}

// The band coefficients are left alone: the equaliser window recomputes
// them when it next applies its settings.
void applyProjectEq(const tProjectEQParams &p, tPEQ *peq) {
    if (!peq) return;
    if (peq->allOn) *peq->allOn = p.allOn;
    peq->totalGainDb = p.allGain;
    peq->totalGainLin = std::pow(10.0, p.allGain / 20.0);
    for (int i = 0; i < 4; ++i) {
        peakEq &b = peq->band[3 - i];
        b.mBandOn = p.band[i].on;
        b.mFreq = p.band[i].freq;
        b.mQ = p.band[i].q;
        b.mGain = p.band[i].gain;
        b.mType = static_cast<tEqType>(p.band[i].type);
    }
}

}  // namespace

MainWindow::tProjectFileDialog MainWindow::sProjectSaveDialog = [](QWidget *parent, const QString &caption,
                                                                   const QString &dir, const QString &filter) {
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
};

MainWindow::tProjectFileDialog MainWindow::sProjectOpenDialog = [](QWidget *parent, const QString &caption,
                                                                   const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
};

void MainWindow::actionSaveClicked(bool) {
    const QString path =
        sProjectSaveDialog(this, tr("Save Project File"), mProjectDir.absolutePath(), tr(kProjectFilter));
    if (path.isEmpty()) return;
    mProjectDir.setPath(QFileInfo(path).absolutePath());

    const QStringList names = mMixer ? mMixer->getTrackNames() : QStringList();
    const int count = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int t = 0; t < count; ++t) {
        const tMixChParam &ch = mMixParam.ch[t];
        mProject.clearPanData(t);
        mProject.clearVolData(t);
        mProject.appendVolData(t, ch.faderDb, 0);
        mProject.appendPanData(t, static_cast<float>(ch.pan), 0);
        mProject.setTrackListName(t, names.value(t));
        const tProjectEQParams eq = projectEqOf(mTracks[t].peq);
        mProject.setEqParams(t, &eq);
        // Whole milliseconds: 12.7 ms is kept as 12 ms.
        mProject.setDelayTime(t, static_cast<int64_t>(ch.delayMs));
    }
    const tProjectEQParams master = projectEqOf(mMasterPeq);
    mProject.setEqParams(count, &master);
    mProject.setProjectSampleRate(mPlayFs);
    if (mProject.saveProjectFile(path) != kProjectOK)
        showWarning(tr("Save Project File"), tr("Could not write the project file."));
}

bool MainWindow::stopTracksForReload() {
    stopRequest();
    const int count = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int t = 0; t < count; ++t) {
        if (mTracks[t].audioThread) mTracks[t].audioThread->stop();
        stopWaveFormThread(t);
        if (mTracks[t].waveFormThread) mTracks[t].waveFormThread->stop();
    }
    for (int poll = 0; poll <= kReloadPolls; ++poll) {
        bool busy = false;
        for (int t = 0; t < count; ++t)
            busy = busy || (mTracks[t].audioThread && mTracks[t].audioThread->isRunning()) ||
                   (mTracks[t].waveFormThread && mTracks[t].waveFormThread->isRunning());
        if (!busy) return true;
        QThread::msleep(kReloadPollMs);
    }
    return false;
}

void MainWindow::actionLoadClicked(bool) {
    const QString path =
        sProjectOpenDialog(this, tr("Open Project File"), mProjectDir.absolutePath(), tr(kProjectFilter));
    if (path.isEmpty()) return;
    mProjectDir.setPath(QFileInfo(path).absolutePath());

    // The open tracks are removed only for a file that reads as a project
    // listing audio: an unreadable or malformed file keeps the session.
    {
        projectFile probe;
        if (probe.loadProjectFile(path) <= 0) {
            showWarning(tr("Open Project File"), tr("This is not a project file, or it lists no audio file."));
            return;
        }
    }

    // Removing tracks deletes their threads: they must have stopped first.
    if (!stopTracksForReload()) {
        showWarning(tr("Open Project File"), tr("The tracks could not be stopped. Please try again."));
        return;
    }
    deleteAllTracks();
    mProjectHasTracks = 0;

    const int listed = mProject.loadProjectFile(path);
    const QStringList documentNames = mProject.getTrackListNames();
    QStringList names;
    // A file that does not open makes no track: the settings of each listed
    // file go to the slot its track took, and the later files keep theirs.
    int slot = 0;
    for (int c = 0; c < listed && slot < kMainTrackSlots; ++c) {
        const QString file = mProject.getTrackFilePath(c);
        if (!openProjectTrack(file, slot)) continue;

        tMixChParam &ch = mMixParam.ch[slot];
        ch.faderDb = static_cast<float>(mProject.getParameterFromList(kADLParamLevel, c, 0));
        ch.gain = std::pow(10.0, ch.faderDb / 20.0);
        ch.pan = mProject.getParameterFromList(kADLParamPan, c, 0);
        if (mMixer) {
            mMixer->recalMixParam(slot);
            if (chstrip *strip = mMixer->mChStrip[slot]) {
                strip->setVolumeValueToWidget(ch.faderDb);
                strip->setPanValueToWidget(static_cast<int>(ch.pan));
            }
        }
        const tProjectEQParams *eq = mProject.getEqParams(c);
        if (eq) applyProjectEq(*eq, mTracks[slot].peq);
        ch.delayMs = mProject.getDelayTime(c);
        emit delayTimeChanged(slot, ch.delayMs);
        emit allEqOnOffToMixer(eq && eq->allOn, slot);
        names << documentNames.value(c);
        ++slot;
    }

    if (const tProjectEQParams *master = mProject.getEqParams(listed)) {
        applyProjectEq(*master, mMasterPeq);
        if (DialogPeq *window = mMasterPeqDialog) window->setEqTotalGain(master->allGain);
        ui->labelEqIndicator->changeEqIndicator(master->allOn);
    }
    while (names.size() < documentNames.size()) names << QString();
    emit trackNamesLoaded(names);
}

bool MainWindow::openProjectTrack(const QString &path, int slot) {
    openFile(path, kFileOpenAdd);
    return mMixParam.trackCount == slot + 1 && mTracks[slot].path == path;
}

void MainWindow::actionCreateClicked(bool) { mProject.newProjectFile(); }
