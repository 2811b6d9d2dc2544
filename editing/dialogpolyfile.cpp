#include "editing/dialogpolyfile.h"

#include "ui_dialogpolyfile.h"

DialogPolyfile::DialogPolyfile(QWidget *parent) : QDialog(parent), ui(new Ui::DialogPolyfile) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogPolyfile::~DialogPolyfile() { delete ui; }

void DialogPolyfile::setTotalChannels(int channels) {
    mTotalChannels = channels;
    rebuildList();
}

void DialogPolyfile::rebuildList() {
    // Clearing reports index -1 and the first added entry index 0, so the
    // chosen entry follows through the slot below.
    ui->comboBoxSelectCh->clear();
    ui->comboBoxSelectCh->addItems(polyfileChannelEntries(mTotalChannels, mStereo));
}

void DialogPolyfile::on_radioButtonMono_clicked(bool) {
    mStereo = false;
    rebuildList();
}

void DialogPolyfile::on_radioButtonStereo_clicked(bool) {
    mStereo = true;
    rebuildList();
}

void DialogPolyfile::on_comboBoxSelectCh_currentIndexChanged(int index) { mEntry = index; }

void DialogPolyfile::on_buttonBox_accepted() {
    mMessage.entry = mEntry;
    mMessage.stereo = mStereo;
    emit channelSelected(&mMessage);
}

void DialogPolyfile::on_buttonBox_rejected() {}

QStringList polyfileChannelEntries(int channels, bool stereo) {
    QStringList entries;
    const QString prefix = QStringLiteral("Channel ");
    if (!stereo) {
        for (int k = 1; k <= channels; ++k) entries << prefix + QString::number(k);
        return entries;
    }
    for (int k = 1; k + 1 <= channels; k += 2)
        entries << prefix + QString::number(k) + QLatin1Char('-') + QString::number(k + 1);
    if (channels > 0 && channels % 2 == 1) entries << prefix + QString::number(channels);
    return entries;
}
