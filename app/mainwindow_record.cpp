// Recording: the record button arms a recording (a free file name, the
// device at the recording rate, the record job queued on the recording
// thread), the play or record button starts it and stop ends it; when the
// job has returned the recording is opened as the only track. The recording
// set-up window supplies the folder, base name, format, word length and
// rate.
//
// GUI thread only. The record job runs on the recording thread, polls the
// control flags set here and reports its end through recStopped (queued);
// the window never waits for it.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QProgressDialog>
#include <QThread>

#include <cstring>

#include "audiofile/audiohelpers.h"
#include "editing/dialogrecsetup.h"
#include "engine/bufferswitch.h"
#include "engine/capturering.h"
#include "engine/engineparams.h"
#include "engine/recengine.h"

namespace {

constexpr int kRecNameCount = 999;
constexpr int kRecOverviewColumns = 1333;  // one minute, one column per 45 ms tick
constexpr int kRecOverviewBytes = kMainRecOverviewPairs * 16;

QString fromStd(const std::string &s) { return QString::fromStdString(s); }

}  // namespace

QString MainWindow::freeRecordingPath() const {
    const QString folder = mDialogRecSetup->plainTextEditDir->text();
    const QString base = mDialogRecSetup->plainTextEditFile->text();
    const QString ext = mDialogRecSetup->getRecFileExt();
    for (int n = 1; n <= kRecNameCount; ++n) {
        const QString path =
            folder + QLatin1Char('/') + base + QStringLiteral("_%1").arg(n, 3, 10, QLatin1Char('0')) + ext;
        if (!QFileInfo::exists(path)) return path;
    }
    return QString();
}

void MainWindow::on_recButton_clicked() {
    if (mRecState == 4) {
        // A second press while recording changes nothing.
        ui->recButton->setChecked(true);
        return;
    }
    if (mRecState == 3) {
        startRecording();
        return;
    }
    if (!mDialogRecSetup || !mCore.mRecEngineThread) {
        ui->recButton->setChecked(false);
        return;
    }
    DialogRecSetup *setup = mDialogRecSetup;

    // The devices are opened again for recording, playback and capture
    // together. Selecting them refills the rate lists, so the chosen
    // recording rate is put back afterwards. A restart keeps the devices
    // as they are.
    if (!mRecRestart) {
        const int recRateIndex = ui->comboBox_recFreq->currentIndex();
        selectPlayRecDevice(mPlayDevIndex, mRecDevIndex);
        if (mDriverType == kDriverAsio) {
            int entry = ui->comboBox_asioFreq->currentIndex();
            if (entry < 0) entry = std::max(0, ui->comboBox_asioFreq->findText(QStringLiteral("48kHz")));
            on_comboBox_asioFreq_currentIndexChanged(entry);
        }
        ui->comboBox_recFreq->setCurrentIndex(recRateIndex);
        setup->comboboxRecFreq->setCurrentIndex(recRateIndex);
    }

    // Refused before anything changes when there is nothing to record from.
    const bool recordable = mDriverType == kDriverAsio     ? getRecordableChannels() > 0
                            : mDriverType == kDriverWasapi ? ui->comboBox_recDev->currentIndex() > 0
                                                           : true;
    if (!recordable) {
        ui->recButton->setChecked(false);
        showWarning(tr("Could not record."), tr("No recordable device is selected."));
        return;
    }

    // The recording's word length and the first free file name; with no
    // name free, nothing is started rather than a file overwritten.
    mRecParams.channels = 2;
    if (mDriverType == kDriverAsio && ui->comboBox_asioFreq->currentIndex() >= 0)
        setup->comboboxRecFreq->setCurrentIndex(ui->comboBox_asioFreq->currentIndex());
    mRecParams.bits = setup->getRecBit();
    const QString path = freeRecordingPath();
    if (path.isEmpty()) {
        ui->recButton->setChecked(false);
        showWarning(tr("Could not record."), tr("Could not create the file.\nPlease change the file name to record."));
        return;
    }

    // Path, rate and format. The device runs at the recording rate, except
    // on ASIO where playback and capture share one rate that the user has
    // chosen already.
    mRecParams.path = path.toStdU16String();
    ui->lineEditRecFileName->setText(QFileInfo(path).fileName());
    mRecParams.rate = getSampleRateFromCombobox(setup->comboboxRecFreq->currentText().toStdString());
    mRecParams.format = setup->recFormat();
    changeFs(mDriverType == kDriverAsio ? mPlayFs : mRecParams.rate);
    mRecParams.blockFrames = mCore.mCaptureBlockFrames;

    // The job belongs to the recording thread from here on. It opens the
    // device and waits, armed; the file is only created at the second press.
    mCore.mRecEngineThread->setRecParameters(&mRecParams);
    mCore.mRecEngineThread->addTransaction(new ClassRecEngine);

    // Armed: the tick blinks the buttons and counts from zero until the
    // recording starts.
    mRecState = 3;
    mRecStartCount = 0;
    mRecOverviewColumn = 0;
    ui->playButton->setChecked(true);

    // The file labels describe the recording; the file's own are kept.
    mRecSavedLabels = {ui->label_orgTime->text(), ui->label_orgFreq->text(), ui->label_orgBit->text(),
                       ui->label_orgCh->text(), ui->label_orgFileType->text()};
    ui->label_orgFreq->setText(fromStd(getFreqTextFromRawValue(mRecParams.rate)));
    ui->label_orgFileType->setText(fromStd(getFileTypeStringFromParam(mRecParams.rate < 2822400 ? 0 : 3)));
    ui->label_orgBit->setText(fromStd(getBitStringFromParam(mRecParams.bits)));
    ui->label_orgCh->setText(fromStd(getChStringFromParam(2)));
    ui->label_orgTime->clear();
    ui->labelPlay->setText(tr("Rec"));

    // The device, driver and set-up can't change under a running capture;
    // the recording's file name replaces the opened file's.
    if (mDriverType == kDriverWasapi || mDriverType == kDriverCoreAudio) {
        ui->comboBox_PlayRec->setCurrentIndex(1);
        ui->comboBox_asioFreq->hide();
        ui->comboBox_recFreq->show();
        ui->comboBox_asioDev->hide();
        ui->comboBox_recDev->show();
        ui->comboBox_recDev->setEnabled(false);
    } else {
        ui->comboBox_asioDev->setEnabled(false);
    }
    ui->comboBox_driver->setEnabled(false);
    ui->actionRec_Setup->setEnabled(false);
    ui->label_orgFileNameArea->hide();
    ui->lineEditRecFileName->show();

    // Input monitoring listens on the engine's record buffer once the
    // recording thread has had time to open it.
    QThread::msleep(200);
    setInMonitor_RecBuffer(0, gAudioThread_getRecBufferFrameSize());
    selectInMonitorEn(true);
    setUIOperability(true);
    drawWaveFrom();
}

void MainWindow::startRecording() {
    if (!mCore.mRecEngineThread->isFileCreated()) mCore.mRecEngineThread->recStart();
    ui->recButton->setChecked(true);
    ui->playButton->setChecked(true);
    ui->comboBox_recFreq->setEnabled(false);
    mRecState = 4;
}

void MainWindow::stopRecording() {
    if (mRecState != 3 && mRecState != 4) return;
    mPlayActive = false;
    mAwaitingPlayStart = false;
    mCore.mRecEngineThread->recStop();

    if (!mStopProgress) {
        mStopProgress = new QProgressDialog(QString(), QString(), 0, 0, this);
        mStopProgress->setCancelButton(nullptr);
        mStopProgress->setWindowTitle(tr("Writing File..."));
        mStopProgress->setBar(&mLoadingBar);
        mStopProgress->hide();
    }
    mStopProgress->setLabelText(mRecState == 4 ? tr("Writing system file...") : tr("Stopping..."));
    mLoadingBar.setMaximum(0);
    mStopProgress->setGeometry(x() + width() / 2 - mStopProgress->width() / 2, y() + height() / 4, 50, 50);
    mStopProgress->show();

    if (mRecSavedLabels.size() == 5) {
        ui->label_orgTime->setText(mRecSavedLabels[0]);
        ui->label_orgFreq->setText(mRecSavedLabels[1]);
        ui->label_orgBit->setText(mRecSavedLabels[2]);
        ui->label_orgCh->setText(mRecSavedLabels[3]);
        ui->label_orgFileType->setText(mRecSavedLabels[4]);
    }
    ui->labelPlay->setText(tr("Play"));

    ui->comboBox_recFreq->hide();
    ui->comboBox_asioFreq->show();
    ui->label_orgFileNameArea->show();
    ui->lineEditRecFileName->hide();
    ui->comboBox_asioDev->show();
    ui->comboBox_recDev->hide();
    ui->comboBox_recDev->setEnabled(true);
    ui->comboBox_driver->setEnabled(true);
    ui->actionRec_Setup->setEnabled(true);
    ui->comboBox_asioDev->setEnabled(true);
    ui->comboBox_PlayRec->setCurrentIndex(0);
    gAudioThread_clearRecBufParam();
    gAudioThread_clearEQparam();
    // The state stays until the job reports its end (recStopped).
}

void MainWindow::recStopped() {
    if (mStopProgress) mStopProgress->hide();
    mCore.mRecEngineThread->clearContFlags();
    for (double *peaks : mRecOverviewPeaks)
        if (peaks) std::memset(peaks, 0, kRecOverviewBytes);
    mRecState = 0;
    ui->recButton->setChecked(false);
    mInputMonitor = 0;
    gAudioThread_setMonitorStatus(false);
    stopRequest();

    const QString path = QString::fromStdU16String(mRecParams.path);
    if (mRecRestart)
        on_recButton_clicked();
    else
        changeFs(mPlayFs);

    // A job stopped before it wrote anything leaves no file; opening it then
    // fails as any missing file does.
    openRecording(path);
    ui->comboBox_recFreq->setEnabled(true);
    mRecRestart = false;
}

void MainWindow::updateRecOverview() {
    if (!mRecOverviewPeaks[0] || !mRecOverviewPeaks[1]) return;
    const double f = mCursorFraction;
    const auto place = [this] { return static_cast<double>(mRecOverviewColumn) / kRecOverviewColumns; };
    if (!(place() < f || f + 0.1 < place())) return;

    double positive[2] = {0.0, 0.0}, negative[2] = {0.0, 0.0};
    gAudioThread_getMoniPeak(positive, negative);
    const auto store = [&] {
        const int c = mRecOverviewColumn;
        mRecOverviewPeaks[0][2 * c] = positive[0];
        mRecOverviewPeaks[0][2 * c + 1] = positive[1];
        mRecOverviewPeaks[1][2 * c] = negative[0];
        mRecOverviewPeaks[1][2 * c + 1] = negative[1];
        // A new minute starts with an empty overview.
        if (++mRecOverviewColumn >= kRecOverviewColumns) {
            mRecOverviewColumn = 0;
            for (double *peaks : mRecOverviewPeaks) std::memset(peaks, 0, kRecOverviewBytes);
        }
    };
    store();
    // A late tick catches up by at most two columns of the same peaks.
    for (int i = 0; i < 2 && place() < f; ++i) store();
    waveFormRedraw(std::max(mRecOverviewColumn, 4) - 4, kRedrawModeIncremental);
}

void MainWindow::selectInMonitorEn(bool on) {
    if (!on) {
        mInputMonitor = 0;
        gAudioThread_setMonitorStatus(false);
        return;
    }
    const bool noInputs = (mDriverType == kDriverAsio && getRecordableChannels() == 0) ||
                          (mDriverType == kDriverWasapi && ui->comboBox_recDev->currentIndex() <= 0);
    if (noInputs)
        showWarning(tr("Could not monitor."),
                    tr("No Recordable inputs in this device.\nPlease select recordable audio device."));
    else
        mInputMonitor = 1;
    if (mCore.mCaptureBlockFrames != 0) {
        gAudioThread_setMonitorStatus(mInputMonitor != 0);
    } else {
        showWarning(tr("Could not monitor."),
                    tr("No Recordable Buffer Applied.\nPlease select recordable audio device."));
        mInputMonitor = 0;
        gAudioThread_setMonitorStatus(false);
    }
}

void MainWindow::showWarning(const QString &title, const QString &text) {
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box.exec();
}

void MainWindow::openRecording(const QString &path) { openFile(path, kFileOpenReplace); }
