// The settings file seen from the main window: where it lives, applying what
// it holds at start-up, and gathering what to write at shut-down. The file's
// own format is app/settingsfile.
#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <cstdio>

#include "editing/dialogedit.h"

namespace {

// File order EQ1..EQ4 holds the master's bands 3..0.
int masterBandOfFileBand(int fileBand) { return kSettingsEqBands - 1 - fileBand; }

}  // namespace

QString MainWindow::composeBackupFilePath() {
    const QString location = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    const QString baseName = QFileInfo(QCoreApplication::applicationFilePath()).baseName();
    const QString path = settings_composePath(location, baseName);
    // The folder is the location after the replacement; a failure shows
    // later, when the file cannot be written.
    QString folder = location;
    if (!baseName.isEmpty()) folder.replace(baseName, QStringLiteral("KAVELO/"), Qt::CaseSensitive);
    QDir dir(folder);
    if (!dir.exists()) dir.mkpath(QStringLiteral("."));
    return path;
}

void MainWindow::loadParametersFromFile() {
    const tEditorDefaults &d = gEditorDefaults;

    // Defaults first: what the file does not name keeps them.
    bool monitorVolumeRead = false;
    mMonitorVolumeDb = d.monitorVolumeDb;
    mDriverType = d.driverType;
    QString deviceName = d.deviceName;
    QString playRate = d.playRate;

    // The first track's equaliser starts as every new track's does; the
    // master keeps its construction values unless the file names them.
    initEQParams(0);

    // Each of these runs its widget's own handlers (the export window
    // refills its lists when the format changes, the OVER entries set the
    // meter's hold time), in this order.
    ui->pushButtonPostFader->setChecked(d.postFader);
    mNeverShowFirstInfo = d.neverShowFirstInfo;
    if (mDialogEdit) {
        mDialogEdit->BounceFormat->setCurrentIndex(d.bounceFormat);
        mDialogEdit->BounceFreq->setCurrentIndex(d.bounceRate);
        mDialogEdit->BounceBit->setCurrentIndex(d.bounceBits);
        mDialogEdit->checkBoxApplyShortFade->setChecked(d.applyShortFade);
    }
    setActionOverHoldTime(d.overHoldMs);
    for (int r = 0; r < kSettingsDopRows; ++r) mUserDopList[r] = d.dopRows[r];

    QFile file(mSettingsPath);
    if (!mSettingsPath.isEmpty() && file.open(QIODevice::ReadOnly)) {
        const QVector<tSettingsSection> sections = settings_parse(file.readAll());
        file.close();
        tPEQ *master = mMasterPeq;
        for (const tSettingsSection &section : sections) {
            const QVector<QString> &v = section.values;
            switch (section.key) {
            case kKeyMonitorVolume:
                mMonitorVolumeDb = settings_readReal(v[0]);
                monitorVolumeRead = true;
                break;
            case kKeyAudioDriver: mDriverType = settings_driverFromText(v[0]); break;
            case kKeyAudioDevice: deviceName = settings_readText(v[0]); break;
            case kKeyPlayFreq: playRate = settings_readText(v[0]); break;
            case kKeyEq1:
            case kKeyEq2:
            case kKeyEq3:
            case kKeyEq4:
                // Stored as read; the next rate change or equaliser edit
                // recomputes the coefficients.
                if (master) {
                    peakEq &band = master->band[masterBandOfFileBand(section.key - kKeyEq1)];
                    band.mBandOn = settings_readBool(v[0]);
                    band.mFreq = settings_readReal(v[1]);
                    band.mQ = settings_readReal(v[2]);
                    band.mGain = settings_readReal(v[3]);
                    band.mType = static_cast<tEqType>(settings_readInt(v[4]));
                }
                break;
            case kKeyEqAll:
                // The master equaliser always starts switched off; only its
                // total gain is restored.
                if (master) {
                    if (master->allOn) *master->allOn = false;
                    master->totalGainDb = settings_readReal(v[1]);
                    master->totalGainLin = std::pow(10.0, master->totalGainDb / 20.0);
                }
                break;
            case kKeyPostFader: ui->pushButtonPostFader->setChecked(settings_readBool(v[0])); break;
            case kKeyNeverShowFirstInfo: mNeverShowFirstInfo = settings_readBool(v[0]); break;
            case kKeyBounceFormat:
                if (mDialogEdit) mDialogEdit->BounceFormat->setCurrentIndex(settings_readInt(v[0]));
                break;
            case kKeyBounceFreq:
                if (mDialogEdit) mDialogEdit->BounceFreq->setCurrentIndex(settings_readInt(v[0]));
                break;
            case kKeyBounceBit:
                if (mDialogEdit) mDialogEdit->BounceBit->setCurrentIndex(settings_readInt(v[0]));
                break;
            case kKeyApplyShortFade:
                if (mDialogEdit) mDialogEdit->checkBoxApplyShortFade->setChecked(settings_readBool(v[0]));
                break;
            case kKeyOverHoldTime: setActionOverHoldTime(settings_readInt(v[0])); break;
            case kKeyDopDevList:
                for (int r = 0; r < kSettingsDopRows; ++r)
                    mUserDopList[r] = tDopDevItem{settings_readText(v[2 * r]), settings_readBool(v[2 * r + 1])};
                break;
            default: break;
            }
        }
    }
    if (!monitorVolumeRead) mMonitorVolumeDb = d.monitorVolumeDb;

    resumeAudioDevice(deviceName, playRate);
}

void MainWindow::saveParametersToFile() {
    tSettingsValues v;
    v.monitorVolumeDb = mMonitorVolumeDb;
    v.driverType = mDriverType;
    v.deviceText = ui->comboBox_asioDev->currentText();
    v.playRateText = ui->comboBox_asioFreq->currentText();
    if (const tPEQ *master = mMasterPeq) {
        for (int b = 0; b < kSettingsEqBands; ++b) {
            const peakEq &band = master->band[masterBandOfFileBand(b)];
            v.eq[b] = tEditorEqBand{band.mBandOn, band.mFreq, band.mQ, band.mGain, static_cast<int>(band.mType)};
        }
        v.eqAllOn = master->allOn && *master->allOn;
        v.eqTotalGainDb = master->totalGainDb;
    } else {
        for (int b = 0; b < kSettingsEqBands; ++b) v.eq[b] = gEditorDefaults.eqBand[b];
    }
    v.postFader = ui->pushButtonPostFader->isChecked();
    v.neverShowFirstInfo = mNeverShowFirstInfo;
    if (mDialogEdit) {
        v.bounceFormat = mDialogEdit->BounceFormat->currentIndex();
        v.bounceFreq = mDialogEdit->BounceFreq->currentIndex();
        v.bounceBit = mDialogEdit->BounceBit->currentIndex();
        v.applyShortFade = mDialogEdit->checkBoxApplyShortFade->isChecked();
    } else {
        v.bounceFormat = gEditorDefaults.bounceFormat;
        v.bounceFreq = gEditorDefaults.bounceRate;
        v.bounceBit = gEditorDefaults.bounceBits;
        v.applyShortFade = gEditorDefaults.applyShortFade;
    }
    v.overHolds2sec = ui->actionOverHolds2sec->isChecked();
    v.oscillatorMode = mOscillatorMode;
    for (int r = 0; r < kSettingsDopRows; ++r) v.dopRows[r] = mUserDopList[r];

    // Shut-down shows no boxes; the run's settings are lost, the previous
    // file stays as it was.
    if (!settings_writeFile(mSettingsPath, settings_compose(v)))
        std::fprintf(stderr, "SonvexEditor: the settings could not be saved to %s\n", qPrintable(mSettingsPath));
}
