#include "editing/dialogrecsetup.h"

#include <QAbstractButton>
#include <QDir>
#include <QStandardPaths>

#include "audiofile/audiohelpers.h"
#include "ui_dialogrecsetup.h"

namespace {

// The highest PCM rate; anything above is a DSD rate.
constexpr int kHighestPcmRate = 2822399;

// Applies a tDevTypeDriver to the two lists: which of them an operation acts on.
struct tDeviceLists {
    QComboBox *play = nullptr;
    QComboBox *rec = nullptr;
};

tDeviceLists listsOf(tDevTypeDriver type, QComboBox *play, QComboBox *rec) {
    switch (type) {
    case kDevTypeBoth: return {play, rec};
    case kDevTypeRecUnselected:
    case kDevTypeRec: return {nullptr, rec};
    default: return {play, nullptr};
    }
}

}  // namespace

DialogRecSetup::tExistingDirectoryFunc DialogRecSetup::sGetExistingDirectory =
    [](QWidget *parent, const QString &caption, const QString &dir, QFileDialog::Options options) {
        return QFileDialog::getExistingDirectory(parent, caption, dir, options);
    };

DialogRecSetup::DialogRecSetup(QWidget *parent) : QDialog(parent), ui(new Ui::DialogRecSetup) {
    ui->setupUi(this);
    comboBox_driver = ui->comboBox_driver;
    ComboboxPlayFreq = ui->ComboboxPlayFreq;
    comboboxRecFreq = ui->comboboxRecFreq;
    BounceFormat = ui->BounceFormat;
    BounceBit = ui->BounceBit;
    plainTextEditDir = ui->plainTextEditDir;
    plainTextEditFile = ui->plainTextEditFile;

    // Recordings named without a folder land in the current folder, which
    // starts as the music folder. Where that folder cannot be entered (it
    // does not exist), the field shows the folder that is current instead,
    // so that it never names a folder a recording cannot be written to.
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const bool entered = !music.isEmpty() && QDir::setCurrent(music);
    ui->plainTextEditDir->setText(entered ? music : QDir::currentPath());

    for (QAbstractButton *button : ui->buttonBox->buttons()) button->setMinimumWidth(80);
}

DialogRecSetup::~DialogRecSetup() { delete ui; }

// ---- device lists ----

void DialogRecSetup::addDevice(tDevTypeDriver type, const QString &name) {
    const tDeviceLists lists = listsOf(type, ui->comboBoxPlayDevice, ui->comboBoxRecDevice);
    if (lists.play) lists.play->addItem(name);
    if (lists.rec) lists.rec->addItem(name);
    if (type == kDevTypeRecUnselected) ui->comboBoxRecDevice->setCurrentIndex(-1);
}

void DialogRecSetup::clearDevice(tDevTypeDriver type) {
    const tDeviceLists lists = listsOf(type, ui->comboBoxPlayDevice, ui->comboBoxRecDevice);
    if (lists.play) lists.play->clear();
    if (lists.rec) lists.rec->clear();
}

void DialogRecSetup::setCurrentDevice(tDevTypeDriver type, int index) {
    const tDeviceLists lists = listsOf(type, ui->comboBoxPlayDevice, ui->comboBoxRecDevice);
    if (lists.play) lists.play->setCurrentIndex(index);
    if (lists.rec) lists.rec->setCurrentIndex(index);
}

// ---- channel pairs ----

void DialogRecSetup::setInputCh(unsigned count) {
    const QStringList pairs = recSetupChannelPairs(count);
    int keep = mSelectedInputPair;
    if (keep < 0 || keep >= pairs.size()) {
        keep = 0;
        mSelectedInputPair = 0;
    }
    mInputChannels = count;
    // Clearing and refilling report -1 and 0 through the list's slot; the
    // remembered pair is selected last.
    ui->comboBoxInputCh->clear();
    ui->comboBoxInputCh->addItems(pairs);
    ui->comboBoxInputCh->setCurrentIndex(keep);
}

void DialogRecSetup::setOutputCh(unsigned count) {
    mOutputChannels = count;
    ui->comboBoxOutputCh->clear();
    ui->comboBoxOutputCh->addItems(recSetupChannelPairs(count));
    ui->comboBoxOutputCh->setCurrentIndex(0);
}

void DialogRecSetup::setCurrentInputCh(int index) {
    if (index >= 0 && index < ui->comboBoxInputCh->count()) ui->comboBoxInputCh->setCurrentIndex(index);
}

// ---- what a recording reads ----

int DialogRecSetup::getRecBit() const { return recSetupBitsFromText(ui->BounceBit->currentText()); }

QString DialogRecSetup::getRecFileExt() const { return recSetupFileExt(ui->BounceFormat->currentIndex()); }

// ---- the lists' own reports ----

void DialogRecSetup::on_comboBox_driver_currentIndexChanged(int index) { emit audioDriverChanged(index); }

void DialogRecSetup::on_comboBoxPlayDevice_currentIndexChanged(int index) {
    // The main window echoes a selection back into this list; reporting only
    // changes keeps that echo from booting the device in a loop.
    if (index == mLastPlayDevice) return;
    mLastPlayDevice = index;
    emit playDeviceChanged(index);
}

void DialogRecSetup::on_ComboboxPlayFreq_currentIndexChanged(int index) { emit playFreqChanged(index); }

void DialogRecSetup::on_comboBoxInputCh_currentIndexChanged(int index) {
    mSelectedInputPair = index;
    emit recChannelChanged(index);
}

void DialogRecSetup::on_comboBoxOutputCh_currentIndexChanged(int index) {
    if (index >= 0) emit playChannelChanged(index);
}

void DialogRecSetup::on_comboBoxRecDevice_currentIndexChanged(int index) { emit recDevice_changed(index); }

void DialogRecSetup::on_BounceFormat_currentIndexChanged(int index) {
    QComboBox *bits = ui->BounceBit;
    bits->clear();
    switch (index) {
    case kRecFormatDsf:
    case kRecFormatDsdiff:
        mRecFormat = index;
        ui->lineEditFileType->setText(index == kRecFormatDsf ? QStringLiteral("xxx.dsf") : QStringLiteral("xxx.dff"));
        bits->addItem(QStringLiteral("1bit"));
        bits->setCurrentIndex(0);
        break;
    default:
        mRecFormat = kRecFormatWav;
        ui->lineEditFileType->setText(QStringLiteral("xxx.wav"));
        bits->addItems({QStringLiteral("16bit"), QStringLiteral("24bit"), QStringLiteral("32bit(float)")});
        bits->setCurrentIndex(1);
        break;
    }
}

void DialogRecSetup::on_comboboxRecFreq_currentIndexChanged(int index) {
    const int rate = getSampleRateFromCombobox(ui->comboboxRecFreq->currentText().toStdString());
    const int format = recSetupFormatForRate(mRecFormat, rate);
    // The format list offers the DSD formats only after a boot found DSD
    // rates. Selecting an entry it does not have would leave it without a
    // selection and the recording without an extension, so then the format
    // stays as it is.
    if (format != mRecFormat && format < ui->BounceFormat->count()) ui->BounceFormat->setCurrentIndex(format);
    ui->ComboboxPlayFreq->setCurrentIndex(index);
}

void DialogRecSetup::on_pushSelDir_clicked() {
    const QString dir = sGetExistingDirectory(this, tr("Please select the folder to record."), QDir::currentPath(),
                                              QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (dir.isEmpty()) return;
    // The field must name the folder recordings land in; one that cannot be
    // entered (removed meanwhile) changes nothing.
    if (!QDir::setCurrent(dir)) return;
    ui->plainTextEditDir->setText(dir);
}

// ---- arithmetic ----

QStringList recSetupChannelPairs(unsigned channels) {
    QStringList pairs;
    const QString prefix = QStringLiteral("Channel ");
    for (uint64_t k = 0; 2 * k < channels; ++k)
        pairs << prefix + QString::number(2 * k + 1) + QLatin1Char('-') + QString::number(2 * k + 2);
    return pairs;
}

int recSetupBitsFromText(const QString &text) {
    if (text.startsWith(QLatin1String("1bit"))) return 1;
    if (text.startsWith(QLatin1String("24bit"))) return 24;
    if (text.startsWith(QLatin1String("32bit"))) return 32;
    return 16;
}

QString recSetupFileExt(int formatIndex) {
    switch (formatIndex) {
    case kRecFormatWav: return QStringLiteral(".wav");
    case kRecFormatDsdiff: return QStringLiteral(".dff");
    case kRecFormatDsf: return QStringLiteral(".dsf");
    default: return QString();
    }
}

int recSetupFormatForRate(int format, int rateHz) {
    if (format == kRecFormatWav && rateHz > kHighestPcmRate) return kRecFormatDsdiff;
    if ((format == kRecFormatDsdiff || format == kRecFormatDsf) && rateHz <= kHighestPcmRate) return kRecFormatWav;
    return format;
}
