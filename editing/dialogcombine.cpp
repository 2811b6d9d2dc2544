#include "editing/dialogcombine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

#include "audiofile/audiohelpers.h"
#include "audiofile/jobs/poly2monostethread.h"
#include "editing/combinerules.h"
#include "editing/labelcombine.h"
#include "engine/audiothread.h"
#include "ui_dialogcombine.h"
#include "widgets/filenamecheck.h"
#include "widgets/snxprogressdialog.h"
#include "widgets/stylesheet.h"

namespace {

QString sLibraryPathOverride;

const QString kCannotCombine = QStringLiteral("Cannot Combine");
const QString kTempName = QStringLiteral("_SonvexEditorRiffTemp.bin");

QString text(const std::string &s) { return QString::fromStdString(s); }

int loadProgress(const int *word) { return __atomic_load_n(word, __ATOMIC_RELAXED); }

void storeProgress(int *word, int value) { __atomic_store_n(word, value, __ATOMIC_RELAXED); }

}  // namespace

DialogCombine::tOpenFileNameFunc DialogCombine::sGetOpenFileName = [](QWidget *parent, const QString &caption,
                                                                      const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
};

DialogCombine::tExistingDirectoryFunc DialogCombine::sGetExistingDirectory =
    [](QWidget *parent, const QString &caption, const QString &dir, QFileDialog::Options options) {
        return QFileDialog::getExistingDirectory(parent, caption, dir, options);
    };

void DialogCombine::setLibraryPath(const QString &path) { sLibraryPathOverride = path; }

QString DialogCombine::libraryPath() {
    return sLibraryPathOverride.isEmpty() ? audioThread::libraryPath() : sLibraryPathOverride;
}

DialogCombine::DialogCombine(QWidget *parent)
    : QDialog(parent),
      ui(new Ui::DialogCombine),
      mPlainDropStyle(QStringLiteral("color: rgb(255, 255, 255);\npadding-left: 15px;\npadding-right: 75px;")) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setAcceptDrops(true);
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":/resources2/bg/Combine_back.png")));
    for (labelCombine *area : {ui->label_HeadName, ui->label_TailName}) {
        area->setAcceptDrops(true);
        area->setStyleSheet(mPlainDropStyle + QStringLiteral("font-style: italic;\nfont-size: 19px;\n"));
        area->setText(QString());
    }

    const tMorphexBinding &library = morphexBinding(libraryPath());
    mGetAudioFileInformation = library.getAudioFileInformation;
    mCombineFiles = library.combineFiles;

    const int font = QFontDatabase::addApplicationFont(QStringLiteral(":/resources2/font/ipagp.ttf"));
    const QString family = QFontDatabase::applicationFontFamilies(font).value(0);
    const QString sheet =
        styleSheet_read(QStringLiteral(":/resources2/qss/default.qss")).replace(QStringLiteral("DEFAULT-FONT"), family);
    ui->pushButtonSelectHead->setStyleSheet(sheet);
    ui->pushButtonSelectTail->setStyleSheet(sheet);

    mTimer = new QTimer(this);
    connect(mTimer, &QTimer::timeout, this, &DialogCombine::takeSeveralHundredMili);
    mPoly2MonosteThread = new poly2monosteThread;
    connect(mPoly2MonosteThread, &poly2monosteThread::poly2monosteConverted, this,
            &DialogCombine::poly2monosteConvertedEvent, Qt::QueuedConnection);
    connect(&mCombineThread, &combineThread::allTransactionsDone_, this, &DialogCombine::combineFinished,
            Qt::QueuedConnection);
    connect(ui->label_HeadName, &labelCombine::dropedFile, this, &DialogCombine::dropedToHeadFile);
    connect(ui->label_TailName, &labelCombine::dropedFile, this, &DialogCombine::dropedToTailFile);
}

DialogCombine::~DialogCombine() {
    mCombineThread.wait();
    delete mPoly2MonosteThread;
    delete ui;
}

DialogCombine::Side DialogCombine::headSide() {
    return {ui->label_HeadName, ui->label_HeadFreq, ui->label_HeadBit, ui->label_HeadCh, &mHeadPath, &mHeadInfo};
}

DialogCombine::Side DialogCombine::tailSide() {
    return {ui->label_TailName, ui->label_TailFreq, ui->label_TailBit, ui->label_TailCh, &mTailPath, &mTailInfo};
}

void DialogCombine::setHeadFile(const QString &path, const QString &fileName, int fileType, int rate, int bits,
                                int channels, unsigned int formatId, const QString &bitText) {
    mHeadPath = path;
    mHeadInfo.fileType = static_cast<uint32_t>(fileType);
    mHeadInfo.sampleRate = static_cast<uint32_t>(rate);
    mHeadInfo.bitsPerSample = static_cast<uint32_t>(bits);
    mHeadInfo.channels = static_cast<uint32_t>(channels);
    mHeadInfo.formatTag = formatId;
    ui->label_HeadName->setStyleSheet(mPlainDropStyle);
    ui->label_HeadName->setText(elidedString(fileName, ui->label_HeadName));
    ui->label_HeadFreq->setText(text(getFreqTextFromRawValue(rate)));
    ui->label_HeadBit->setText(bitText);
    ui->label_HeadCh->setText(text(getChStringFromParam(channels)));
    setDstFileName();
}

void DialogCombine::setDestination(QDir *) {
    ui->plainTextEditDir->clear();
    ui->plainTextEditDir->setText(QDir::currentPath());
}

int DialogCombine::getCurrentCombineMode() const { return ui->comboBox->currentIndex(); }

void DialogCombine::setSourceFile1Text(const QString &text) { ui->labelHeadFile->setText(text); }

void DialogCombine::setSourceFile2Text(const QString &text) { ui->labelTailFile->setText(text); }

void DialogCombine::setDestFileText(const QString &text) { ui->labelCombined->setText(text); }

void DialogCombine::setEdition(tSetEdition edition) {
    if (edition != kEditionZolt) return;
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":resources2/bg_ZOLT/ZOLT_Combine_back.png")));
    const QString dark = QStringLiteral("QLabel{color: rgb(0, 0, 0);}");
    ui->labelCombinedFolder->setStyleSheet(dark);
    ui->labelCombinedFile->setStyleSheet(dark);
    ui->labelCombined->setStyleSheet(QStringLiteral("QLabel{color: rgb(24, 59, 208);font-size: 16px;}"));
}

// ---- accepting files ----

void DialogCombine::dropedToHeadFile() { acceptFile(headSide()); }

void DialogCombine::dropedToTailFile() { acceptFile(tailSide()); }

void DialogCombine::on_pushButtonSelectHead_clicked() {
    selectFile(ui->label_HeadName);
    acceptFile(headSide());
}

void DialogCombine::on_pushButtonSelectTail_clicked() {
    selectFile(ui->label_TailName);
    acceptFile(tailSide());
}

void DialogCombine::selectFile(labelCombine *area) {
    const QString path = sGetOpenFileName(this, tr("Select Audio File"), QDir::currentPath(),
                                          QStringLiteral("Supported files (*.wav *.dsf *.dff);;All files (*.*)"));
    if (!path.isEmpty()) QDir::setCurrent(QFileInfo(path).absolutePath());
    area->setPath(path);
}

void DialogCombine::acceptFile(const Side &side) {
    const QString path = side.area->path();
    if (path.isEmpty()) return;
    if (!isValidFileExtensionForCombine(this, path)) return;
    if (!mGetAudioFileInformation) {
        QMessageBox::warning(this, kCannotCombine, tr("The conversion library could not be loaded."), QMessageBox::Ok);
        return;
    }
    // Marks are not needed here; without a mark array the library stores
    // none.
    tAudioFileInfoAFile info;
    const std::u16string units = path.toStdU16String();
    std::vector<wchar16> path16(units.begin(), units.end());
    path16.push_back(0);
    if (mGetAudioFileInformation(path16.data(), &info) < 0) {
        showMessageBox_parseFailed(this, path);
        return;
    }
    if (!isValidFs(this, info.sampleRate)) return;

    *side.path = path;
    *side.info = combineFileRecord(info);

    if (getCurrentCombineMode() == kCombineMonoToStereo && info.channels >= 2) {
        clearSide(side);
        QMessageBox::warning(this, kCannotCombine, QStringLiteral("The selected file is not monaural."),
                             QMessageBox::Ok);
        return;
    }
    side.area->setStyleSheet(mPlainDropStyle);
    side.area->setText(elidedString(fileNameString(path), side.area));
    side.freq->setText(text(getFreqTextFromRawValue(static_cast<int>(info.sampleRate))));
    side.bits->setText(text(getBitStringFromParam(static_cast<int>(info.bitsPerSample))));
    side.channels->setText(text(getChStringFromParam(static_cast<int>(info.channels))));
    setDstFileName();
}

void DialogCombine::clearSide(const Side &side) {
    side.area->setText(QString());
    side.freq->setText(QString());
    side.bits->setText(QString());
    side.channels->setText(QString());
}

void DialogCombine::setDstFileName() {
    const tCombineName name = combineNameRule(mHeadPath, mTailPath, ui->plainTextEditDir->text());
    mHeadBaseName = name.headBase;
    mTailBaseName = name.tailBase;
    ui->plainTextEditFile->setText(name.fileName);
    ui->plainTextEditFileType->setText(name.type);
    if (name.folderTooLong)
        QMessageBox::warning(this, tr("Warning"),
                             tr("Directory name is too long.") + QLatin1Char('\n') +
                                 tr("Please try a location that has a shorter path"));
}

// ---- mode and folder ----

void DialogCombine::on_comboBox_currentIndexChanged(int index) {
    if (index == kCombineTimeAxis) {
        ui->labelHeadFile->setText(QStringLiteral("Head File"));
        ui->labelTailFile->setText(QStringLiteral("Tail File"));
        ui->labelCombined->setText(QStringLiteral("Combined File"));
    } else {
        ui->labelHeadFile->setText(QStringLiteral("Mono File 1(L)"));
        ui->labelTailFile->setText(QStringLiteral("Mono File 2(R)"));
        ui->labelCombined->setText(QStringLiteral("Output Stereo File"));
    }
    // The stored files stay, but each side has to be chosen again for the
    // new mode.
    clearSide(headSide());
    clearSide(tailSide());
}

void DialogCombine::on_pushSelDir_clicked() {
    const QString dir = sGetExistingDirectory(this, tr("Select Folder to Export"), QDir::currentPath(),
                                              QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty()) return;
    QDir::setCurrent(dir);
    ui->plainTextEditDir->setText(dir);
}

// ---- combining ----

void DialogCombine::on_pushButton_clicked() {
    if (mBusy) return;
    const QString folder = ui->plainTextEditDir->text();
    const QString fileName = ui->plainTextEditFile->text();
    const QString type = ui->plainTextEditFileType->text();
    const QString destination = folder + QLatin1Char('/') + fileName + type;
    const int mode = getCurrentCombineMode();

    tCombineCheck check;
    check.mode = mode;
    check.headSelected = !ui->label_HeadName->text().isEmpty();
    check.tailSelected = !ui->label_TailName->text().isEmpty();
    check.head = mHeadInfo;
    check.tail = mTailInfo;
    check.destination = destination;
    check.fileName = fileName;
    check.destinationIsSource = combineIsSameFile(destination, mHeadPath) || combineIsSameFile(destination, mTailPath);
    check.libraryBound = mode != kCombineTimeAxis || mCombineFiles;
    const QString refusal = combineRefusal(check);
    if (!refusal.isEmpty()) {
        QMessageBox::warning(this, kCannotCombine, refusal, QMessageBox::Ok);
        return;
    }

    mDstPath = destination;
    mTempPath = folder + QLatin1Char('/') + kTempName;
    if (QFileInfo::exists(destination)) {
        const auto answer = QMessageBox::question(this, tr("Confirmation"),
                                                  fileName + type + tr(" already exists.\nDo you want to overwrite?"),
                                                  QMessageBox::Ok | QMessageBox::Cancel);
        if (answer != QMessageBox::Ok) return;
        QFile::remove(destination);
    }
    QFile::remove(mTempPath);

    if (mode == kCombineTimeAxis)
        Combine2Files(destination, mTempPath);
    else
        startJoin(destination);
}

void DialogCombine::Combine2Files(const QString &destination, const QString &temporary) {
    if (!mCombineDialog) {
        mCombineDialog = new snxProgressDialog(QString(), QStringLiteral("Abort"), 0, 100, this);
        mCombineDialog->setCancelButton(nullptr);
        mCombineDialog->setWindowTitle(tr("Combining..."));
        // Escape must not hide it while the combine runs.
        connect(mCombineDialog, &QDialog::rejected, mCombineDialog, &QWidget::show);
        mCombineDialog->hide();
    }
    mCombineDialog->setLabelText(tr("Combining files..."));
    mCombineDialog->setValue(mCombineDialog->minimum());
    mCombineDialog->show();

    // Only the fields the library's combine reads, and the format it was
    // given, are set; the start time is reset to 0.
    tBwfHdrParam header{};
    header.channels = static_cast<uint16_t>(mHeadInfo.channels);
    header.bits = static_cast<uint16_t>(mHeadInfo.bitsPerSample);
    header.rate = mHeadInfo.sampleRate;
    header.timeReference = 0;
    header.integer32 = 0;
    // The worker has reported the previous run, but may still be leaving
    // run(); start() on a running thread would do nothing.
    mCombineThread.wait();
    mCombineThread.setParams(mHeadPath, destination, mTailPath, temporary, static_cast<int>(mHeadInfo.fileType), header,
                             &mCombineProgress, mCombineFiles);
    mBusy = true;
    mTimer->start(200);
    mCombineThread.start(QThread::InheritPriority);
    mCombineThread.setPriority(QThread::NormalPriority);
}

void DialogCombine::startJoin(const QString &destination) {
    storeProgress(&mJoinProgress, 0);
    tPoly2MonosteParam param;
    param.stereo = 1;
    param.channel = 0;
    param.twoSources = 1;
    param.fileType = static_cast<int32_t>(mHeadInfo.fileType);
    param.baseName = ui->plainTextEditFile->text();
    param.extension = ui->plainTextEditFileType->text();
    param.folder = ui->plainTextEditDir->text();
    mPoly2MonosteThread->setParams(destination, mHeadPath, mTailPath, &mJoinProgress, &param);
    mBusy = true;
    mPoly2MonosteThread->addTransaction(new ClassPoly2Monoste);

    if (!mJoinDialog) {
        mJoinDialog = new snxProgressDialog(QString(), tr("Abort"), 0, 100, this);
        mJoinDialog->setWindowTitle(tr("Rebuilding 2xMono to Stereo file..."));
        connect(mJoinDialog, &QDialog::rejected, mJoinDialog, &QWidget::show);
        // The dialog owns its bar; it is set once, since setting the same
        // bar again is refused.
        mJoinBar = new QProgressBar;
        mJoinDialog->setBar(mJoinBar);
        mJoinDialog->hide();
    }
    mJoinBar->setMaximum(100);
    mJoinDialog->setGeometry(combineJoinProgressRect(geometry()));
    mJoinDialog->show();
    mTimer->start(200);
}

void DialogCombine::takeSeveralHundredMili() {
    // A hidden progress dialog given a value may show itself, so only a
    // visible one is fed.
    if (mCombineDialog && mCombineDialog->isVisible()) mCombineDialog->setValue(loadProgress(&mCombineProgress));
    if (mJoinBar) mJoinBar->setValue(loadProgress(&mJoinProgress));
}

void DialogCombine::poly2monosteConvertedEvent(tPoly2MonosteMessages *message) {
    const int result = message ? message->result : -1;
    combineFinished(result < 0 ? result : 0);
}

void DialogCombine::combineFinished(int code) {
    if (mCombineDialog) mCombineDialog->hide();
    if (mJoinDialog) mJoinDialog->hide();
    mTimer->stop();
    mBusy = false;

    QMessageBox box(code < 0 ? QMessageBox::Warning : QMessageBox::Information, tr("Combine Files"),
                    combineResultText(code), QMessageBox::Ok, this);
    box.exec();
    if (code >= 0) hide();
    storeProgress(&mCombineProgress, 0);
}
