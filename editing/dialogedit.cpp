#include "editing/dialogedit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <ctime>
#include <vector>

#include "audiofile/jobs/flac2wavthread.h"
#include "audiofile/jobs/wav2flac.h"
#include "editing/combinerules.h"  // combineBaseName, combineIsSameFile
#include "editing/exportrules.h"
#include "editing/tagtexts.h"
#include "engine/playbackproducer.h"
#include "trace/debugclient.h"
#include "ui_dialogedit.h"
#include "widgets/filenamecheck.h"
#include "widgets/snxprogressdialog.h"

namespace {

QString sLibraryPathOverride;

constexpr int kTimerMs = 200;
// How long a new FLAC job waits for the worker's previous one to end
// (the job is queued all the same after it).
constexpr int kFlacStopWaitMs = 2900;

int loadWord(const int *word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }

void storeWord(int *word, int value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }

std::vector<wchar16> utf16z(const QString &text) {
    const std::u16string units = text.toStdU16String();
    std::vector<wchar16> out(units.begin(), units.end());
    out.push_back(0);
    return out;
}

// One export pass. The thread reports only the last queued job's result, so
// a pass records its own failure for the window; and once the user has
// aborted, a pass still queued behind the cancelled one ends at once
// instead of writing its file.
class ExportJob : public ClassMorphex {
public:
    ExportJob(int kind, std::shared_ptr<tExportRunState> run) : ClassMorphex(kind), mRun(std::move(run)) {}

    int apply(int command, tMorphexParam *record, tMorphexAPIs entries, tAudioFileInfo *fileInfo, tTimeInfo *timeInfo,
              tDspVolItem *items, tID3tagInfo *tag) override {
        const int result = mRun->aborted.load(std::memory_order_relaxed)
                               ? int(kExportCancelPcm)
                               : ClassMorphex::apply(command, record, entries, fileInfo, timeInfo, items, tag);
        if (result < 0) {
            std::lock_guard<std::mutex> lock(mRun->mutex);
            if (mRun->failure == 0) {
                mRun->failure = result;
                mRun->failedPath = record ? record->dstPath : std::u16string();
            }
        }
        // Counted before the thread can report its queue empty.
        mRun->finished.fetch_add(1, std::memory_order_release);
        return result;
    }

private:
    std::shared_ptr<tExportRunState> mRun;
};

}  // namespace

DialogEdit::tExistingDirectoryFunc DialogEdit::sGetExistingDirectory =
    [](QWidget *parent, const QString &caption, const QString &dir, QFileDialog::Options options) {
        return QFileDialog::getExistingDirectory(parent, caption, dir, options);
    };

void DialogEdit::setLibraryPath(const QString &path) { sLibraryPathOverride = path; }

QString DialogEdit::libraryPath() {
    return sLibraryPathOverride.isEmpty() ? audioThread::libraryPath() : sLibraryPathOverride;
}

DialogEdit::DialogEdit(QWidget *parent)
    : QDialog(parent), ui(new Ui::DialogEdit), mTagEditor(this), mRun(std::make_shared<tExportRunState>()) {
    mSourceInfo.marks = mSourceMarks;
    // A flat unity envelope until the first pass builds one.
    mVolItems[0] = {0, 1.0, 0.0, 0};
    mVolItems[1] = {-1, 1.0, 0.0, 0};
    for (int i = 2; i < kJobVolItems; ++i) mVolItems[i] = {kDspVolEnd, 0.0, 0.0, 0};

    ui->setupUi(this);
    setWindowFlags((windowFlags() & ~Qt::WindowContextHelpButtonHint) | Qt::CustomizeWindowHint);
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":/resources2/bg/Export_back.png")));
    ui->labelBackground->lower();
    BounceFormat = ui->BounceFormat;
    BounceFreq = ui->BounceFreq;
    BounceBit = ui->BounceBit;
    checkBoxApplyShortFade = ui->checkBoxApplyShortFade;

    mFlacThread = new flac2wavThread;

    // Refilling the format list selects its first entry, whose handler
    // builds the PCM menus (and through their handlers the output state).
    ui->BounceFormat->clear();
    ui->BounceFormat->addItems({QStringLiteral("WAV(PCM)"), QStringLiteral("DSDIFF(DSD)"), QStringLiteral("DSF(DSD)")});
    ui->BounceFormat->setCurrentIndex(0);
    mOutFileType = kExportWav;
    mOutRate = 48000;
    mOutRateIndex = 1;
    mWordLength = 24;
    mOutChannels = 2;
    ui->BounceBit->setCurrentIndex(2);  // "32bit Float": 32 bits, no dither choices

    connect(&mAudioThread, &audioThread::transactionStarted_, this, &DialogEdit::transactionStarted,
            Qt::QueuedConnection);
    connect(&mAudioThread, &audioThread::allTransactionsDone_, this, &DialogEdit::allTransactionsDone,
            Qt::QueuedConnection);
    connect(mFlacThread, &flac2wavThread::flacConvCompleted, this, &DialogEdit::wav2flacCompleted,
            Qt::QueuedConnection);

    mGetAudioFileInformation = morphexBinding(libraryPath()).getAudioFileInformation;

    mTimer = new QTimer(this);
    mTimer->setInterval(kTimerMs);
    connect(mTimer, &QTimer::timeout, this, &DialogEdit::takeSeveralHundredMili);

    connect(&mTagEditor, &DialogEditTag::id3paramsConfirmed, this, &DialogEdit::tagParamConfirmed);

    ui->pushEditTag->hide();
    ui->BounceDither->hide();
    ui->labelDstDither->hide();
    ui->label_dstCh->hide();
}

DialogEdit::~DialogEdit() {
    // A pass runs inside the library and uses this window's records: cancel
    // it and wait before anything goes.
    mRun->aborted.store(true, std::memory_order_relaxed);
    if (mAudioThread.isRunning()) mAudioThread.stop();
    mAudioThread.wait();
    delete mFlacThread;
    delete mProgressDialog;
    delete ui;
}

// ---- the main window's side ----

void DialogEdit::setEditFileName(const QString &fileName, const QString &formatText, const QString &rateText,
                                 const QString &bitText, const QString &channelText, int channels, int trackCount) {
    mBaseName = combineBaseName(fileName);
    ui->label_orgFileName->setText(elidedString(fileName, ui->label_orgFileName));
    ui->label_orgFileType->setText(formatText);
    ui->label_orgFreq->setText(rateText);
    ui->label_orgBit->setText(bitText);
    ui->label_orgCh->setText(channelText);

    mOutChannels = channels;
    on_BounceFreq_currentIndexChanged(ui->BounceFreq->currentIndex());
    ui->label_dstCh->setText(channelText);

    // The refill's own index changes must not count as the user's choice.
    const int preference = mStereoPreference;
    ui->BounceCh->clear();
    ui->BounceCh->addItems(exportChannelList(channels, trackCount));
    mStereoPreference = preference;
    const int index = channelText != QLatin1String("MONO") && mStereoPreference != 0 ? 1 : 0;
    ui->BounceCh->setCurrentIndex(index);
    mOutChannels = exportChannelsOfIndex(ui->BounceCh->currentIndex());
}

void DialogEdit::setDestination(QDir *destination) {
    mDestination = destination;
    ui->plainTextEditDir->setText(QDir::currentPath());
}

void DialogEdit::sendID3tagInfo(tID3tagInfo *tag, int rate, tTcFrameType frameType) {
    mTag = tag;
    mProjectRate = rate;
    mFrameType = frameType;
}

void DialogEdit::sendParameters(tPEQ *masterPeq, double, int playbackRate) {
    mMasterPeq = masterPeq;
    mPlaybackRate = playbackRate;
}

int DialogEdit::getBounceToStereoFlag() const { return exportStereoFlagOfText(ui->BounceCh->currentText()); }

void DialogEdit::setBounceMonoFromRight(bool right) { mJob.com.rightPass = right ? 1 : 0; }

void DialogEdit::getBounceParams(tBounceParam *record, int rate) {
    exportBounceParams(record, rate, mOutChannels, folder());
}

void DialogEdit::waitMsec(int ms) {
    if (ms <= 0) return;
    timespec t;
    t.tv_sec = ms / 1000;
    t.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {}
}

void DialogEdit::setEdition(tSetEdition edition) {
    if (edition != kEditionZolt) return;
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":resources2/bg_ZOLT/ZOLT_Export_back.png")));
    const QString dark = QStringLiteral("QLabel{color: rgb(0, 0, 0);}");
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label == ui->labelBackground || label == ui->labelOriginalFile || label == ui->labelExportTo) continue;
        label->setStyleSheet(dark);
    }
    ui->labelExportTo->setStyleSheet(QStringLiteral("QLabel{color: rgb(24, 59, 208);font-size: 16px;}"));
}

void DialogEdit::addTransaction(Transaction *job) {
    mAudioThread.addTransaction(job);
    mAudioThread.setPriority(QThread::LowPriority);
}

void DialogEdit::morphexertEdit(int kind) { addTransaction(new ClassMorphex(kind)); }

int DialogEdit::setAudioParamOfEditFile(const tAudioFileInfoAFile &info, tAudioFileInfo *out) {
    return exportFileRecord(info, out);
}

// ---- the lists ----

void DialogEdit::on_BounceFormat_currentIndexChanged(int index) {
    const tExportFormat format = exportFormatOfIndex(index);
    mOutFileType = format.fileType;
    ui->plainTextEditFileType->setText(format.extension);
    if (format.dsd)
        setMenuForDsd();
    else
        setMenuForPcm();
    rebuildFileName();
}

void DialogEdit::setMenuForPcm() { setMenusFor(false); }

void DialogEdit::setMenuForDsd() { setMenusFor(true); }

void DialogEdit::setMenusFor(bool dsd) {
    const tExportMenus menus = exportMenusFor(dsd, mOutFileType);
    ui->BounceBit->setCurrentIndex(-1);
    ui->BounceBit->clear();
    ui->BounceBit->addItems(menus.bits);
    ui->BounceFreq->setCurrentIndex(-1);
    ui->BounceFreq->clear();
    ui->BounceFreq->addItems(menus.rates);
    // Dither is a choice for PCM output only.
    selectableDither(!dsd);
    ui->BounceBit->setCurrentIndex(menus.bitIndex);
    ui->BounceFreq->setCurrentIndex(menus.rateIndex);
}

void DialogEdit::selectableDither(bool choices) {
    ui->BounceDither->setCurrentIndex(-1);
    ui->BounceDither->clear();
    ui->BounceDither->addItem(QStringLiteral("None"));
    if (choices) ui->BounceDither->addItems({QStringLiteral("Dither"), QStringLiteral("Noise Shape")});
    ui->BounceDither->setCurrentIndex(0);
}

void DialogEdit::on_BounceFreq_currentIndexChanged(int) {
    const tExportRate rate = exportRateOfText(ui->BounceFreq->currentText());
    mOutRate = rate.hz;
    mOutRateIndex = rate.rateIndex;
    mRateSuffix = rate.suffix;
    rebuildFileName();
}

void DialogEdit::on_BounceBit_currentIndexChanged(int) {
    const tExportBits bits = exportBitsOfText(ui->BounceBit->currentText());
    mWordLength = bits.bits;
    selectableDither(bits.ditherChoices);
}

void DialogEdit::on_BounceDither_currentIndexChanged(int index) { mDitherMode = exportDitherMode(index); }

void DialogEdit::on_BounceCh_currentIndexChanged(int index) {
    mOutChannels = exportChannelsOfIndex(index);
    mStereoPreference = index != 0 ? 1 : 0;
}

void DialogEdit::rebuildFileName() {
    ui->plainTextEditFile->clear();
    ui->plainTextEditFile->setText(mBaseName + mRateSuffix);
}

void DialogEdit::on_pushSelDir_clicked() {
    const QString dir = sGetExistingDirectory(this, tr("Please select the folder to export."), QDir::currentPath(),
                                              QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty()) return;
    QDir::setCurrent(dir);
    ui->plainTextEditDir->setText(dir);
}

bool DialogEdit::isDualMono() const { return ui->BounceCh->currentText() == QLatin1String("DUAL MONO"); }

QString DialogEdit::folder() const { return ui->plainTextEditDir->text(); }

// ---- "EXPORT" ----

void DialogEdit::on_pushBounce_released() {
    // A second press while passes are queued would queue more passes on the
    // same record and mix their results.
    if (mPassesPending > 0) return;

    const QString name = ui->plainTextEditFile->text();
    const QString extension = ui->plainTextEditFileType->text();
    const bool dualMono = isDualMono();
    // The checks cover the files the passes write: for DUAL MONO the "_01"
    // and "_02" files, not the plain name.
    const QStringList destinations = exportDestinations(folder(), name, extension, dualMono);

    const QString refusal = exportRefusal(destinations, name);
    if (!refusal.isEmpty()) {
        QMessageBox box(QMessageBox::Critical, tr("Error"), refusal, QMessageBox::Ok, this);
        box.exec();
        return;
    }
    for (const QString &path : destinations) {
        if (combineIsSameFile(path, mSourcePath)) {
            QMessageBox box(QMessageBox::Critical, tr("Error"), exportSameFileText(), QMessageBox::Ok, this);
            box.exec();
            return;
        }
    }
    for (const QString &path : destinations) {
        if (!QFileInfo::exists(path)) continue;
        QMessageBox box(QMessageBox::Question, tr("Confirmation"),
                        fileNameString(path) + tr(" already exists.\nDo you want to overwrite?"),
                        QMessageBox::Ok | QMessageBox::Cancel, this);
        box.setDefaultButton(QMessageBox::NoButton);
        if (box.exec() != QMessageBox::Ok) return;
    }

    // A DSDIFF file holds Latin-1 texts only: a title or artist it cannot
    // hold is dropped rather than written wrong.
    if (mOutFileType == kExportDsdiff && mTag) {
        for (wchar16 *text : {mTag->title, mTag->artist}) {
            if (text && !DialogEditTag::checkLatinCharacter(tagTextFromBuffer(text, kTagTextUnits))) text[0] = 0;
        }
    }
    emit convertExecute();
}

void DialogEdit::on_pushEditTag_clicked() {
    const QString format = ui->BounceFormat->currentText();
    tEnumTagType type = kTagTypeWav;
    if (format == QLatin1String("FLAC(PCM)"))
        type = kTagTypeFlac;
    else if (format == QLatin1String("DSDIFF(DSD)"))
        type = kTagTypeDsdiff;
    else if (format == QLatin1String("DSF(DSD)"))
        type = kTagTypeDsf;
    mTagEditor.setTagType(type);
    mTagEditor.setID3tagInfo(mTag);
    mTagEditor.show();
    mTagEditor.raise();
}

void DialogEdit::tagParamConfirmed() {
    // Without a record from the main window there is nothing to update.
    if (!mTag) return;
    mTagEditor.getEditedTagInfo(mTag);
    emit tagParamConfirmedExportWindow();
}

// ---- one pass ----

int DialogEdit::convertPlay(int kind) {
    const QString name = ui->plainTextEditFile->text();
    const QString extension = ui->plainTextEditFileType->text();
    const bool dualMono = isDualMono();
    const bool rightPass = mJob.com.rightPass != 0;
    mFileName = name + extension;
    const QString passName = exportPassName(name, extension, dualMono, rightPass);
    const QString shownName = exportShownName(name, extension, dualMono);

    mJob.bits = static_cast<uint32_t>(mWordLength);
    mJob.com.dither = static_cast<uint32_t>(mDitherMode);
    mJob.com.command = kMorphexComWriteFile;
    mJob.com.track = 0;
    mJob.outChannels = static_cast<uint32_t>(mOutChannels);
    storeWord(&mFlacProgress, 0);

    QString destination;
    if (mOutFileType == kExportFlac) {
        destination = folder() + QLatin1Char('/') + QLatin1String(kExportFlacTempName);
        QFile::remove(destination);
    } else {
        destination = folder() + QLatin1Char('/') + passName;
    }
    mJob.dstPath = destination.toStdU16String();
    if (DebugClient::sDebugLevel > 9)
        DebugClient::SendTrace(destination, "MAIN", 10, __FILE__, __LINE__, "convertPlay");

    mJob.fileType = static_cast<uint32_t>(mOutFileType);
    mJob.rateIndex = static_cast<uint32_t>(mOutRateIndex);
    mJob.option = 0;
    mJob.mode = 0;
    mJob.fileCount = 1;
    mJob.progress = 0;
    for (double &v : mJob.panVol) v = 0.0;
    mJob.panVol[0] = 1.0;
    mJob.panVol[3] = 1.0;

    // The source must be described before anything is queued: a missing
    // library, an unreadable source or one without channels, bits or rate
    // ends the export here with its code.
    if (!mGetAudioFileInformation) {
        failBeforeQueueing(kExportErrNoLibrary);
        return kExportErrNoLibrary;
    }
    mSourceInfo.marks = mSourceMarks;
    const std::vector<wchar16> source = utf16z(mSourcePath);
    const int info = mGetAudioFileInformation(source.data(), &mSourceInfo);
    if (info < 0) {
        failBeforeQueueing(info);
        return info;
    }
    tAudioFileInfo fileInfo;
    const int described = setAudioParamOfEditFile(mSourceInfo, &fileInfo);
    if (described < 0) {
        failBeforeQueueing(described);
        return described;
    }
    mSourceFileInfo = fileInfo;
    mJob.srcChannels = mSourceInfo.channels;
    mJob.srcPath = mSourcePath.toStdU16String();

    const bool shortFade = ui->checkBoxApplyShortFade->isChecked();
    tDspVolumeParam options;
    options.shortFade = shortFade ? 1 : 0;
    const int envelope =
        dspVolume::setDspVolume(0, &mExportRegion, mSourceFileInfo.sampleRate, mOutRate,
                                exportMinimumFade(mSourceFileInfo.sampleRate, shortFade), mVolItems, 0, &options);
    if (envelope < 0) {
        failBeforeQueueing(envelope);
        return envelope;
    }
    for (int i = kDspVolItems; i < kJobVolItems; ++i) mVolItems[i] = {kDspVolEnd, 0.0, 0.0, 0};

    mJob.com.startSample = mExportRegion.inPoint;
    mJob.com.endSample = mExportRegion.outPoint;
    mJob.com.peq = mMasterPeq;
    mJob.startOffset = 0;

    mAudioThread.setAudioThreadParam(kind == 1 ? kMorphexCmdExport : kMorphexCmdPlay, &mJob, &mSourceFileInfo,
                                     &mFileRate, mVolItems, 0, mTag, 0);
    reRateMasterEq(mOutRate);

    if (mPassesPending == 0) {
        // A new export: forget the last one's abort and failure.
        mRun->aborted.store(false, std::memory_order_relaxed);
        mRun->finished.store(0, std::memory_order_relaxed);
        std::lock_guard<std::mutex> lock(mRun->mutex);
        mRun->failure = 0;
        mRun->failedPath.clear();
    }
    ++mPassesPending;
    addTransaction(new ExportJob(kind, mRun));

    if (kind != 8) {
        createProgressDialog();
        mBounceMode = false;
        mProgressDialog->setWindowTitle(tr("Exporting..."));
        mProgressDialog->setLabelText(tr("Exporting ") + QLatin1Char('"') + shownName + QLatin1Char('"') +
                                      QStringLiteral(" ..."));
        mProgressDialog->setValue(mProgressDialog->minimum());
        mProgressDialog->show();
        if (!mTimerRunning) {
            mTimer->start();
            mTimerRunning = true;
        }
    }
    return 0;
}

void DialogEdit::failBeforeQueueing(int code) {
    // Nothing was written by this pass; an earlier pass of the export keeps
    // its file, and the equaliser goes back to the playback rate unless
    // passes are still queued.
    if (mPassesPending == 0) {
        stopProgress();
        reRateMasterEq(mPlaybackRate);
    }
    QMessageBox box(QMessageBox::Warning, tr("Export File"), exportFailedText(code), QMessageBox::Ok, this);
    box.exec();
}

void DialogEdit::createProgressDialog() {
    if (mProgressDialog) return;
    mProgressDialog = new snxProgressDialog(QString(), tr("Abort"), 0, 100, this);
    connect(mProgressDialog, &QProgressDialog::canceled, this, &DialogEdit::cancelExporting);
}

void DialogEdit::stopProgress() {
    if (mProgressDialog) mProgressDialog->hide();
    mTimer->stop();
    mTimerRunning = false;
}

void DialogEdit::reRateMasterEq(double rate) {
    if (!mMasterPeq || rate <= 0) return;
    for (int b = kEqBands - 1; b >= 0; --b) mMasterPeq->band[b].reCalcCoef(rate);
}

void DialogEdit::showBounceProgress(int *progress) {
    createProgressDialog();
    if (DebugClient::sDebugLevel > 9)
        DebugClient::SendTrace(QStringLiteral("bouncing..."), "MAIN", 10, __FILE__, __LINE__, "showBounceProgress");
    mProgressDialog->setWindowTitle(tr("Bouncing..."));
    mProgressDialog->setLabelText(tr("Bouncing..."));
    mProgressDialog->setValue(mProgressDialog->minimum());
    mProgressDialog->show();
    mBounceMode = true;
    if (!mTimerRunning) {
        mTimer->start();
        mTimerRunning = true;
    }
    mBounceProgress = progress;
}

// ---- progress, abort, end ----

void DialogEdit::transactionStarted(int) {}

void DialogEdit::takeSeveralHundredMili() {
    const int p = mAudioThread.getConvProgress();
    // A hidden progress dialog that is given a value may show itself (after
    // a failed mix-down the main window hides it while the timer runs on).
    if (mProgressDialog && mProgressDialog->isVisible()) {
        if (mBounceMode) {
            if (mBounceProgress) mProgressDialog->setValue(loadWord(mBounceProgress));
        } else if (mOutFileType == kExportFlac) {
            mProgressDialog->setValue(p * 90 / 100 + loadWord(&mFlacProgress) / 10);
        } else if (p <= 99) {
            mProgressDialog->setValue(p);
        }
    }
    (void)checkPlayStatusDo(0);
}

void DialogEdit::cancelExporting() {
    if (mBounceMode) {
        emit bounceCanceled();
        return;
    }
    mRun->aborted.store(true, std::memory_order_relaxed);
    // The engine's abort flag outlives an idle thread and would cancel the
    // next job of any audio thread: raise it only while a pass can take it.
    if (mPassesPending > 0 && mAudioThread.isRunning()) mAudioThread.stop();
}

void DialogEdit::allTransactionsDone(int code) {
    // The thread reports each time its queue runs dry. A first pass that
    // ended before the second was queued is reported early: the report that
    // follows the last pass decides. A report with no pass outstanding
    // belongs to an export already reported.
    if (mPassesPending == 0 || mRun->finished.load(std::memory_order_acquire) < mPassesPending) return;
    mPassesPending = 0;
    // The thread reports the last pass; an earlier pass of the same export
    // that failed decides the outcome, and its file is the one removed.
    QString failedPath = QString::fromStdU16String(mJob.dstPath);
    {
        std::lock_guard<std::mutex> lock(mRun->mutex);
        if (mRun->failure < 0) {
            code = mRun->failure;
            failedPath = QString::fromStdU16String(mRun->failedPath);
        }
    }

    if (mProgressDialog && mProgressDialog->isVisible()) mProgressDialog->setValue(100);

    if (code < 0) {
        stopProgress();
        reRateMasterEq(mPlaybackRate);
        const bool aborted = code == kExportCancelPcm || code == kExportCancelDsd;
        if (exportFailureRemovesFiles(code)) {
            QFile::remove(failedPath);
            QFile::remove(folder() + QLatin1Char('/') + QLatin1String(kExportFlacTempName));
        }
        QMessageBox box(aborted ? QMessageBox::Information : QMessageBox::Warning, tr("Export File"),
                        exportResultText(code), QMessageBox::Ok, this);
        box.exec();
        return;
    }
    if (mOutFileType == kExportFlac) {
        startFlacStage();
        return;
    }
    if (isDualMono() && mJob.com.rightPass == 0) {
        setBounceMonoFromRight(true);
        convertPlay(1);
        return;
    }
    stopProgress();
    reRateMasterEq(mPlaybackRate);
    QMessageBox box(QMessageBox::Information, tr("Export File"), exportResultText(code), QMessageBox::Ok, this);
    box.exec();
    hide();
}

// ---- the FLAC stage ----

void DialogEdit::startFlacStage() {
    reRateMasterEq(mPlaybackRate);
    mFlacOutputPath = folder() + QLatin1Char('/') + mFileName;
    mFlacTempPath = folder() + QLatin1Char('/') + QLatin1String(kExportFlacTempName);
    mFlacThread->stop();
    // The worker leaves its run when its queue is empty, so its end is the
    // moment it stopped.
    (void)mFlacThread->wait(QDeadlineTimer(kFlacStopWaitMs));
    mFlacThread->setParameters(mFlacOutputPath, mFlacTempPath, kFileOpenReplace, &mFlacProgress, mTag);
    mFlacThread->addTransaction(new ClassWav2Flac);
}

void DialogEdit::wav2flacCompleted(tFlac2WavMessages *message) {
    if (!mFlacTempPath.isEmpty()) QFile::remove(mFlacTempPath);
    stopProgress();
    const int status = message ? message->status : -1;
    QMessageBox box(status < 0 ? QMessageBox::Warning : QMessageBox::Information, QString(),
                    status < 0 ? exportFailedText(status) : exportResultText(0), QMessageBox::Ok, this);
    box.exec();
    if (status >= 0) hide();
}
