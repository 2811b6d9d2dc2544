// How a file becomes the main window's material: the drop, OPEN and ADD
// TRACK roads to openFile, the checks on the path, the channel split of a
// file with three or more channels (and the FLAC decode road, which the
// extension check keeps closed in this build), and openFile2, which makes a
// described file a track: its tag and start time, the form's file texts,
// the reset of cursor, points and zoom for a first track, the automatic
// play rate and the overview job.
//
// All of it runs on the GUI thread; the split and the decode run on the
// file workers and report back through queued signals.
#include "app/mainwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollBar>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "app/devicelists.h"
#include "audiofile/audiohelpers.h"
#include "audiofile/jobs/flac2wav.h"
#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "editing/cheditstrip.h"
#include "editing/dialogedit.h"
#include "engine/engineparams.h"
#include "morphex/morphexapi.h"
#include "ui_mainwindow.h"
#include "widgets/dialogselectfs.h"
#include "widgets/filenamecheck.h"

namespace {

const QString kOpenFilter = QStringLiteral("Supported files (*.wav *.dsf *.dff);;All files (*.*)");
constexpr int kFirstDsdRate = 2822400;

QString musicFolder() { return QStandardPaths::writableLocation(QStandardPaths::MusicLocation); }

QString lastDotPart(const QString &path) { return path.split(QLatin1Char('.')).last().toLower(); }

// Copies a text into a tag record's fixed buffer of kTagTextUnits units.
void setTagText(wchar16 *buffer, const QString &text) {
    if (!buffer) return;
    const QString t = text.left(kTagTextUnits - 1);
    std::memcpy(buffer, t.utf16(), sizeof(wchar16) * size_t(t.size()));
    buffer[t.size()] = 0;
}

// Where the channel-selection and progress dialogs go: centred over the
// window, a quarter of the way down.
QPoint dialogPlace(const QWidget *main, const QWidget *dialog) {
    return QPoint(main->x() + main->width() / 2 - dialog->width() / 2, main->y() + main->height() / 4);
}

QProgressDialog *makeProgressDialog(QWidget *parent, QProgressBar *bar, const QString &title) {
    auto *dialog = new QProgressDialog(QString(), QObject::tr("Abort"), 0, 100, parent);
    dialog->setWindowTitle(title);
    bar->setMaximum(100);
    dialog->setBar(bar);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->hide();
    return dialog;
}

}  // namespace

// ---- Roads to openFile ---------------------------------------------------------

void MainWindow::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData() && event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) {
        event->setDropAction(event->proposedAction());
        event->accept();
    }
}

void MainWindow::dropEvent(QDropEvent *event) {
    if (mDialogEdit && mDialogEdit->isVisible()) {
        QMessageBox box(QMessageBox::Warning, QString(), tr("Cannot open while exporting."), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    const QMimeData *data = event->mimeData();
    if (!data || !data->hasUrls() || data->urls().isEmpty()) return;
    // Only the first of several dropped files is opened.
    openFile(data->urls().first().toLocalFile(), kFileOpenReplace);
}

void MainWindow::on_pushButtonOpen_clicked() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Audio File"), QDir::currentPath(), kOpenFilter);
    if (path.isEmpty()) return;
    QDir::setCurrent(QFileInfo(path).absolutePath());
    openFile(path, kFileOpenReplace);
}

void MainWindow::on_pushButtonAdd_clicked() {
    const QString path = QFileDialog::getOpenFileName(this, tr("Open Audio File"), QDir::currentPath(), kOpenFilter);
    if (path.isEmpty()) return;
    QDir::setCurrent(QFileInfo(path).absolutePath());
    openFile(path, kFileOpenAdd);
}

// ---- openFile ------------------------------------------------------------------

int MainWindow::waitForTracksReleased() {
    // A track's play job holds its file and its ring of converted blocks
    // until it has faded out and returned; its thread ends with it. Nothing
    // else needs waiting for, so an engine that is already stopped costs
    // no wait at all, and one that does not answer costs at most 1.5 s.
    constexpr int kPolls = 150, kPollMs = 10;
    const auto busy = [this] {
        for (int t = 0; t < mThreadCount && t < kMainTrackSlots; ++t) {
            audioThread *thread = mTracks[t].audioThread;
            if (thread && (thread->isRunning() || thread->getStatus() != 0)) return true;
        }
        return false;
    };
    int polls = 0;
    while (polls < kPolls && busy()) {
        QThread::msleep(kPollMs);
        ++polls;
    }
    return polls;
}

void MainWindow::openFile(QString path, int mode) {
    // Whatever plays stops first, and the engine lets go of the current
    // files before anything is replaced. A recording that restarts opens
    // its own file and must not stop itself. A split copy of an earlier
    // file is no longer wanted.
    if (!mRecRestart) {
        on_stopButton_clicked();
        mOpenReleasePolls = waitForTracksReleased();
    }
    if (!mSplitTempPath.isEmpty()) QFile::remove(mSplitTempPath);

    if (!isValidFileExtension(this, path)) return;

    // A further track past the last slot is refused before anything of the
    // material changes.
    if (mode == kFileOpenAdd && mProjectHasTracks && mMixParam.trackCount >= kMainTrackSlots) {
        QMessageBox box(QMessageBox::Critical, tr("Error"),
                        tr("Couldn't add the track.") + QLatin1Char('\n') +
                            tr("No more than %1 tracks can be loaded.").arg(kMainTrackSlots),
                        QMessageBox::Ok, this);
        box.exec();
        return;
    }

    // The tag's picture goes into a folder only this user can enter, not
    // to a name in the shared temporary folder that another user could
    // place first.
    if (!mTagPictureDir) {
        mTagPictureDir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/SonvexEditor-XXXXXX"));
        if (!mTagPictureDir->isValid()) mTagPictureDir.reset();
    }
    setTagText(mID3tagInfo.picturePath,
               mTagPictureDir ? mTagPictureDir->filePath(QStringLiteral("picture")) : QString());
    gInitTagInfo(&mID3tagInfo);

    // The two FLAC decode files take turns, so that a new decode does not
    // overwrite the file the last opened FLAC track plays from.
    const QString ext = lastDotPart(path);
    const QString flacTemp =
        musicFolder() + QStringLiteral("/SonvexEditorFlacTemp") + QString::number(mFlacTempIndex) + ".wav";
    mFlacTempIndex = (mFlacTempIndex + 1) % 2;

    // FLAC is decoded to a WAV file on the FLAC thread first; the rest of the
    // opening carries on from flac2wavCompleted once that file is written,
    // so the window stays responsive meanwhile. A decode still running is
    // stopped (and given up to about 3 s) before the new one is queued.
    if (ext == QLatin1String("flac")) {
        QFile::remove(flacTemp);
        if (mCore.mFlac2WavThread) {
            mCore.mFlac2WavThread->stop();
            for (int i = 0; i < 29 && !mCore.mFlac2WavThread->isFinished(); ++i) QThread::msleep(100);
            mCore.mFlac2WavThread->setParameters(path, flacTemp, tFileOpenMode(mode), &mFlacProgress, &mID3tagInfo);
            mCore.mFlac2WavThread->addTransaction(new ClassFlac2Wav);
        }
        mOpenedFrom = 1;
        if (!mLoadingDialog) mLoadingDialog = makeProgressDialog(this, &mLoadingBar, tr("Loading..."));
        mLoadingDialog->setLabelText(tr("Loading ") + QLatin1Char('"') + fileNameString(path) +
                                     QStringLiteral("\"..."));
        mLoadingDialog->move(dialogPlace(this, mLoadingDialog));
        mLoadingDialog->show();
        return;
    }

    // The type code the channel split needs should the file have more than
    // two channels.
    if (ext == QLatin1String("dff"))
        mOpenTypeCode = 3;
    else if (ext == QLatin1String("dsf"))
        mOpenTypeCode = 2;
    else if (ext == QLatin1String("wsd"))
        mOpenTypeCode = 4;
    else if (ext == QLatin1String("wav"))
        mOpenTypeCode = 0;
    else
        mOpenTypeCode = 127;
    mSourcePath = path;

    // Only the channel count is wanted here: the file is described into
    // a record of its own, so that no track slot, mark table or view state
    // changes before the file is known to open. A file that cannot be
    // described is refused aloud, as openFile2 would refuse it.
    std::vector<tAudioFileMarkAFile> marks(sizeof mMarkBuffer / sizeof mMarkBuffer[0]);
    tAudioFileInfoAFile lib;
    lib.marks = marks.data();
    tAudioFileInfo info;
    if (!getAudioFileInformation ||
        getAudioFileInformation(reinterpret_cast<const wchar16 *>(path.utf16()), &lib) < 0 ||
        jobRecord_fileInfo(lib, &info) < 0) {
        showMessageBox_parseFailed(this, path);
        return;
    }

    // The engine plays mono and stereo tracks only: a file with more
    // channels goes through the channel dialog, and the opening carries on
    // from poly2monosteRebuildEvent with the split copy.
    if (info.channels >= 3) {
        mDialogPolyfile.setTotalChannels(int(info.channels));
        mDialogPolyfile.setWindowFlags(Qt::WindowStaysOnTopHint);
        mDialogPolyfile.resize(50, 50);
        mDialogPolyfile.move(dialogPlace(this, &mDialogPolyfile));
        mDialogPolyfile.show();
        return;
    }

    mOpenedFrom = 0;
    openFile2(path, path, mode);
}

void MainWindow::selectChannelOfPolyEvent(tPoly2MonosteMsgParam *choice) {
    if (!choice || !mCore.mPoly2MonosteThread) return;
    mCore.mPoly2MonosteThread->stop();
    stopWaveFormThread(0);
    for (int i = 0; i < 29 && !mCore.mPoly2MonosteThread->isEnded(); ++i) QThread::msleep(100);

    QString ext = QStringLiteral(".wav");
    mOpenedFrom = 0;
    if (mOpenTypeCode == 2) {
        ext = QStringLiteral(".dsf");
    } else if (mOpenTypeCode == 3) {
        ext = QStringLiteral(".dff");
    } else if (mOpenTypeCode == 4) {
        ext = QStringLiteral(".dff");
        mOpenedFrom = 2;
    }
    mSplitTempPath = musicFolder() + QStringLiteral("/SonvexEditorMonoSteTemp") + ext;
    mSplitProgress = 0;

    tPoly2MonosteParam param;
    param.stereo = choice->stereo ? 1 : 0;
    param.channel = choice->entry;
    param.twoSources = 0;
    param.fileType = mOpenTypeCode;
    mCore.mPoly2MonosteThread->setParams(mSplitTempPath, mSourcePath, QString(), &mSplitProgress, &param);
    mCore.mPoly2MonosteThread->addTransaction(new ClassPoly2Monoste);

    const QString title = tr("Rebuilding to Stereo/Mono file...");
    if (!mSplitDialog) mSplitDialog = makeProgressDialog(this, &mSplitBar, title);
    mSplitDialog->setLabelText(title);
    mSplitDialog->move(dialogPlace(this, mSplitDialog));
    mSplitDialog->show();
}

void MainWindow::poly2monosteRebuildEvent(tPoly2MonosteMessages *message) {
    if (mSplitDialog) mSplitDialog->hide();
    if (!message || message->result < 0) return;
    openFile2(mSourcePath, mSplitTempPath, kFileOpenReplace);
}

void MainWindow::flac2wavCompleted(tFlac2WavMessages *message) {
    if (mLoadingDialog) mLoadingDialog->hide();
    if (!message || message->status < 0) return;
    openFile2(message->flacPath, message->wavPath, message->mode);
}

// ---- openFile2 -----------------------------------------------------------------

void MainWindow::openFile2(QString displayPath, QString readPath, int mode) {
    // The slot the file goes to: the next free one when adding, else the
    // project is cleared and the file becomes track 0. Reserving a slot only
    // makes room for a track whose file comes later.
    int slot = 0;
    if (mode == kFileOpenReserve || (mode == kFileOpenAdd && mProjectHasTracks)) {
        slot = mMixParam.trackCount;
        if (!addTrackSlot(slot)) return;
    } else {
        deleteAllTracks();
    }
    if (mode == kFileOpenReserve) return;

    mProject.appendTrack(readPath);
    mProjectHasTracks = 1;

    // Describe the file and give its slot a plain routing: mono to both
    // sides, stereo straight through, unity gain, centred. A file that
    // cannot be described or played at its rate leaves the slot describing
    // the file it had, so nothing the user had loaded is lost.
    tMorphexParam job;
    auto restorePrevious = [&] {
        if (mTracks[slot].path.isEmpty()) return;
        tMorphexParam again;
        getAudioParam(&again, mTracks[slot].path, slot);
        if (slot == 0) waveFormRedraw(mViewOffset, kRedrawModeFull);
    };
    if (getAudioParam(&job, readPath, slot) < 0) {
        showMessageBox_parseFailed(this, displayPath);
        restorePrevious();
        return;
    }
    tMixChParam &ch = mMixParam.ch[slot];
    ch.LL = 1.0;
    ch.RL = 0.0;
    if (mTracks[slot].fileInfo.channels == 2) {
        ch.LR = 0.0;
        ch.RR = 1.0;
    } else {
        ch.LR = 1.0;
        ch.RR = 0.0;
    }
    ch.gain = 1.0;
    ch.pan = 0.0;
    ch.faderDb = 0.0f;
    ch.mute = 1.0f;
    if (!isValidFs(this, mTracks[slot].fileInfo.sampleRate)) {
        restorePrevious();
        return;
    }

    // The delayed counter and cursor must not show positions of the file
    // that was open before.
    for (QString &text : mCounterRing) text.clear();
    std::memset(mPositionRing, 0, sizeof mPositionRing);

    // The tag. A decoded FLAC's was read by the decode thread from the FLAC
    // file itself, not from its WAV copy; a file opened directly is read
    // here, and one without a readable tag shows no picture.
    if (mOpenedFrom != 0) {
        if (mCore.mFlac2WavThread) mCore.mFlac2WavThread->getFlacFileInfo(&mFlacFileInfo);
    } else {
        const int read = id3tagInformation
                             ? id3tagInformation(kId3tagLoad, int(mTracks[slot].fileInfo.fileType),
                                                 reinterpret_cast<const wchar16 *>(readPath.utf16()), &mID3tagInfo)
                             : -1;
        if (read < 0) ui->labelJacket->clear();
    }

    // The start timecode of a WAV or DSDIFF first track comes from the
    // file; other types keep the one their tag brought.
    const tAudioFileInfo &first = mTracks[0].fileInfo;
    if (first.fileType == 0 || first.fileType == 3) {
        const uint64_t in = mDialogEdit ? uint64_t(std::max<int64_t>(0, mDialogEdit->mExportRegion.inPoint)) : 0;
        tTimeCode tc{};
        gTc_convSampleToTimeCode(first.startSample + in, int(first.sampleRate), mFrameType, &tc);
        mID3tagInfo.hour = tc.hour;
        mID3tagInfo.minute = tc.minute;
        mID3tagInfo.second = tc.second;
        mID3tagInfo.frame = tc.frame;
    }
    {
        tTimeCode tc{};
        tc.hour = std::max(mID3tagInfo.hour, 0);
        tc.minute = std::max(mID3tagInfo.minute, 0);
        tc.second = std::max(mID3tagInfo.second, 0);
        tc.frame = std::max(mID3tagInfo.frame, 0);
        uint64_t sample = 0;
        gTc_convTimeCodeToSample(&tc, &sample, int(first.sampleRate), mFrameType);
        mID3tagInfo.startSample = sample;
    }

    // Slot 0 plays on the audio thread made at start-up; every further track
    // gets a thread of its own, tied to its slot.
    mTracks[slot].path = readPath;
    if (slot != 0 && mThreadCount < kMainTrackSlots) {
        auto *thread = new audioThread(nullptr);
        mTracks[mThreadCount].audioThread = thread;
        setAudioIoThreadId(thread->getThreadIndex(), slot);
        ++mThreadCount;
    }

    // Track 0 sets the window's file labels, the counter, the in and out
    // points and the zoom: the view is measured against the first track, so
    // an added track leaves them as they are.
    const tAudioFileInfo &info = mTracks[slot].fileInfo;
    if (slot == 0) {
        const int64_t o = counterDisplayOffset();
        ui->widgetTrack1->trackReloaded();
        mDisplayPath = displayPath;
        ui->label_orgFileNameArea->setText(elidedString(fileNameString(displayPath), ui->label_orgFileNameArea));
        QString text;
        prepareTimeInfoDisp(text, o + int64_t(info.totalSamples), int(info.sampleRate));
        ui->label_orgTime->setText(text);
        if (mOpenedFrom == 1) {
            ui->label_orgFileType->setText(QStringLiteral("FLAC(PCM)"));
            ui->label_orgBit->setText(QString::fromStdString(getBitStringFromParam(int(mFlacFileInfo.bitsPerSample))));
        } else {
            ui->label_orgFileType->setText(QString::fromStdString(
                mOpenedFrom == 2 ? std::string("WSD(1bit)") : getFileTypeStringFromParam(int(info.fileType))));
            ui->label_orgBit->setText(QString::fromStdString(getBitStringFromParam(int(info.bitsPerSample))));
        }
        ui->label_orgFreq->setText(QString::fromStdString(getFreqTextFromRawValue(int(info.sampleRate))));
        ui->label_orgCh->setText(QString::fromStdString(getChStringFromParam(int(info.channels))));
        setUIOperability(true);

        mCursorSample = 0;
        for (int64_t &r : mOverview.jobColumns) r = 1;
        for (tTrack &track : mTracks) track.prepared = 0;
        mPreparingTrack = 0;
        mCursorFraction = 0.0;
        emit moveInPoint(0.0);
        emit moveOutPoint(1.0);
        ui->widgetTrack1->lineCurrentPosition(0.0);
        if (mChEditStrip) mChEditStrip->setCursorPosition(0.0);
        prepareTimeInfoDisp(text, o, int(info.sampleRate));
        ui->lineEditTime->setText(text);
        ui->widgetMeter->setOver(false);

        mWaveZoom = 1.0;
        mViewOffset = 0;
        mScrollLock = true;
        QScrollBar *bar = ui->waveScrollBar;
        bar->setPageStep(bar->maximum() * 4096);
        bar->setMaximum(100);
        bar->setValue(0);
        mScrollLock = false;
        ui->widgetTrack1->mLevelZoom = 1.0;
    }

    // A copy of the file labels as this opening left them.
    mSavedFileTexts[0] = slot == 0 ? ui->label_orgTime->text() : QString();
    mSavedFileTexts[1] = ui->label_orgFileType->text();
    mSavedFileTexts[2] = ui->label_orgFreq->text();
    mSavedFileTexts[3] = ui->label_orgBit->text();
    mSavedFileTexts[4] = ui->label_orgCh->text();

    drawWaveFormSelectedColumn(slot);

    // With the rate on AUTO the device follows the first track's rate; an
    // added track does not change it under the tracks already loaded.
    if (slot == 0 && ui->comboBox_asioFreq->currentText() == QLatin1String("AUTO"))
        chooseAutoPlayRate(int(info.sampleRate));

    // Full redraws about 3 s from now and then every 15 s, three more
    // times: the overview worker and the device settle after the first
    // draw, and what was drawn from partial data is replaced without the
    // user having to scroll.
    mRedrawCountdown = 66;
    mRedrawRepeats = 3;
}

void MainWindow::chooseAutoPlayRate(int fileRate) {
    const QVector<int> rates = deviceRateList();
    const int r = playRates_fit(playRates_autoChoice(fileRate, rates), rates);
    mPlayFs = r;
    mPlayFsIndex = uint32_t(getFreqIndexFromFsValue(r));

    // A DSD rate on a device whose way with DSD nobody has told us yet: the
    // user decides between PCM at a sixteenth of the rate and DSD.
    if (r >= kFirstDsdRate && !mDopAnswered && !mDopKnown && mDialogSelectFs) {
        mDialogSelectFs->setPCMButtonText(selectFsPcmButtonText(r));
        mDialogSelectFs->setDSDButtonText(selectFsDsdButtonText(r));
        const QRect frame(x(), y(), width(), height());
        mDialogSelectFs->move(selectFsPosition(frame, mDialogSelectFs->size()));
        mDialogSelectFs->show();
    }
    if (mPlayDevIndex > 0) {
        clearDisplayRings();
        changeFs(r);
    }
}
