// The main window's small commands: the operability switch of the playback
// controls, the Help menu's documents and windows, the OVER indicator's
// hold time, the metering point and closing the window.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>

#include <algorithm>

#include "mixer/dialogpeq.h"
#include "widgets/dialoglicenses.h"

bool (*MainWindow::sOpenUrl)(const QUrl &url) = &QDesktopServices::openUrl;

namespace {

// The four documents, installed beside the program.
const char *const kManualEnglish = "Q88000120.pdf";
const char *const kManualJapanese = "Q88000101.pdf";
const char *const kSupplementEnglish = "Sonvex_Editor_add-e_RevA.pdf";
const char *const kSupplementJapanese = "Sonvex_Editor_add-j_RevA.pdf";

// Opens a document in the system's viewer. A missing file is the viewer's
// to report; with no viewer at all the request fails and only the system's
// log would say so, so the user is told where the document is.
void openDocument(QWidget *parent, const char *fileName) {
    const QString path = MainWindow::documentPath(QString::fromLatin1(fileName));
    if (MainWindow::sOpenUrl(QUrl::fromLocalFile(path))) return;
    QMessageBox::warning(parent, QCoreApplication::translate("MainWindow", "Cannot Open"),
                         QCoreApplication::translate("MainWindow", "No PDF viewer could open the document. It is at:") +
                             QStringLiteral("\n") + QDir::toNativeSeparators(path),
                         QMessageBox::Ok);
}

}  // namespace

QString MainWindow::documentPath(const QString &fileName) {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + fileName;
}

void MainWindow::setUIOperability(bool operable) {
    ui->widgetTrack1->mInputLock = !operable;
    QWidget *const controls[] = {
        ui->setPointButtonSetIn, ui->setPointButtonSetOut, ui->pushButtonEdit,    ui->zeroPlayButton,
        ui->stopButton,          ui->playButton,           ui->lineEditTime,      ui->zoomInLevelButton,
        ui->zoomOutLevelButton,  ui->zoomInTimeButton,     ui->zoomOutTimeButton,
    };
    for (QWidget *w : controls) w->setEnabled(operable);
    if (!operable) {
        ui->labelFadeIn->setText(QStringLiteral("Fade In = 00:00:00.00"));
        ui->labelFadeOut->setText(QStringLiteral("Fade Out = 00:00:00.00"));
        ui->labelInPoint->setText(QStringLiteral("In Point = 00:00:00.00"));
        ui->labelOutPoint->setText(QStringLiteral("Out Point = 00:00:00.00"));
        ui->labelInOut->setText(QStringLiteral("In-Out = --:--:--.--"));
    }
}

void MainWindow::menuEnglishManualClicked() { openDocument(this, kManualEnglish); }
void MainWindow::menuJapaneseManualClicked() { openDocument(this, kManualJapanese); }
void MainWindow::menuEnglishV1_1suppClicked() { openDocument(this, kSupplementEnglish); }
void MainWindow::menuJapaneseV1_1suppClicked() { openDocument(this, kSupplementJapanese); }

void MainWindow::menuAboutClicked() {
    DialogAbout dialog(this);
    dialog.exec();
}

void MainWindow::menuLicensesClicked() {
    dialogLicenses dialog(this);
    dialog.exec();
}

void MainWindow::menuOscillatorClicked() { mDialogOscillator.show(); }

void MainWindow::menuOverHolds2sec_toggled(bool checked) {
    if (checked) ui->widgetMeter->setOverHoldTime(2000);
}

void MainWindow::menuOverHoldsUntilClicked_toggled(bool checked) {
    if (checked) ui->widgetMeter->setOverHoldTime(-1);
}

void MainWindow::setActionOverHoldTime(int ms) {
    if (ms >= 0)
        ui->actionOverHolds2sec->setChecked(true);
    else
        ui->actionOverHoldsUntilClicked->setChecked(true);
}

void MainWindow::meterPressed() { ui->widgetMeter->setOver(false); }

void MainWindow::on_pushButtonPostFader_toggled(bool checked) {
    // The settings file sets the check state before any track thread may
    // exist (and after a failed construction none does).
    if (mTracks[0].audioThread) mTracks[0].audioThread->setMeteringPoint(checked ? kMeteringPostFader : kMeteringPreFader);
}

void MainWindow::closeEvent(QCloseEvent *event) {
    mDialogOscillator.hide();
    const int count = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int t = 0; t < count; ++t) {
        if (mTracks[t].peqDialog) mTracks[t].peqDialog->hide();
    }
    event->accept();
}

void MainWindow::setScrollMax(int n) { ui->waveScrollBar->setMaximum(n < 13 ? 100 : 8 * n); }

void MainWindow::stopWaveFormThreadAll() {
    const int count = std::clamp<int>(mMixParam.trackCount, 0, kMainTrackSlots);
    for (int t = 0; t < count; ++t) stopWaveFormThread(t);
}

void MainWindow::setEdition(tSetEdition edition) {
    if (edition != kEditionZolt) return;
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":/resources2/bg_ZOLT/ZOLT_main_back.png")));
    const QString dark = QStringLiteral("QLabel{color: rgb(0, 0, 0);}");
    for (QLabel *label : {ui->labelFileName, ui->label_orgTime, ui->label_orgFileType, ui->label_orgFreq,
                          ui->label_orgBit, ui->label_orgCh})
        label->setStyleSheet(dark);
    ui->label_orgFileNameArea->setStyleSheet(QStringLiteral("QLabel{color: rgb(0, 0, 0);font-size: 17px;}"));
    ui->lineEditRecFileName->setStyleSheet(
        QStringLiteral("background-color:rgba(0,0,0,0);color: rgb(0, 0, 0);font-size: 17px;"));
}

// Entries kept for the form's controls that have no work in this build.
void MainWindow::on_pushAsioCont_clicked() {}
void MainWindow::labelGainValDoubleClicked() {}
void MainWindow::monIndicatorClocked() {}
void MainWindow::coreAudioTransactionDone() {}
