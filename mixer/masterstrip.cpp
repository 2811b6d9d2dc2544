#include "mixer/masterstrip.h"

#include <QPixmap>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"
#include "mixer/stripfader.h"
#include "mixer/striptext.h"
#include "ui_masterstrip.h"

namespace {

const char *const kKnobOnPicture = ":/resources2/parts/volume_on.png";
const char *const kKnobOffPicture = ":/resources2/parts/volume_off.png";
constexpr int kStripMeterPeriodMs = 45;

}  // namespace

masterstrip::masterstrip(QWidget *parent) : QWidget(parent), ui(new Ui::masterstrip) {
    ui->setupUi(this);

    meterGraphic *meter = ui->widgetMeter;
    meter->connectParts(ui->widgetMeterL, ui->widgetOverL, ui->widgetMeterR, ui->widgetOverR);
    meter->setMeterUpdateTiming(kStripMeterPeriodMs);
    const double silence[2] = {0.0, 0.0};
    meter->setMeterData(silence, 0, kStripMeterPeriodMs);
    meter->setOver(false);

    WidgetMixvolBase *track = ui->widgetVolBase;
    track->mKnob = ui->label_FaderTopVol;
    track->mKnob->mTravel = track->height();
    track->makeVolTable();

    connect(track, &WidgetMixvolBase::faderMoved, this, &masterstrip::volChanged);
    connect(ui->label_FaderTopVol, &faderTopVol::faderMoved, this, &masterstrip::volChanged);
    connect(track, &WidgetMixvolBase::mouseReleased, this, &masterstrip::volChangedFixed);

    ui->lineEditVol->setText(QStringLiteral("0.0"));
    track->setVolumePosition(0.0);
    placeMeter();
    ui->widgetMeterL->setHorizontal(false);
    ui->widgetMeterR->setHorizontal(false);
}

masterstrip::~masterstrip() { delete ui; }

void masterstrip::placeMeter() {
    ui->widgetMeter->setGeometry(50, 297, 30, 160);
    ui->widgetMeterL->setGeometry(0, 15, 10, 140);
    ui->widgetMeterR->setGeometry(15, 15, 10, 140);
    ui->widgetOverL->setGeometry(0, 0, 10, 10);
    ui->widgetOverR->setGeometry(15, 0, 10, 10);
}

void masterstrip::volChanged(int position) {
    const tMixVolSlot *table = ui->widgetVolBase->mVolTable;
    const int slot = mixvol_slotAtPixel(table, position);
    if (slot < 0) return;
    mLevel = table[slot].level;
    ui->lineEditVol->setText(strip_levelText(mLevel));
    ui->label_FaderTopVol->setPixmap(QPixmap(QString::fromLatin1(kKnobOnPicture)));
    emit reportVolumeChanged();
}

void masterstrip::volChangedFixed() { ui->label_FaderTopVol->setPixmap(QPixmap(QString::fromLatin1(kKnobOffPicture))); }

void masterstrip::on_lineEditVol_editingFinished() {
    const float dB = strip_parseLevel(ui->lineEditVol->text());
    ui->lineEditVol->setText(strip_levelText(dB));
    ui->widgetVolBase->setVolumePosition(dB);
    ui->lineEditVol->clearFocus();
    mLevel = dB;
    emit reportVolumeChanged();
}

void masterstrip::on_pushButtonMute_clicked() {
    mMuteOn = !mMuteOn;
    ui->pushButtonMute->setChecked(mMuteOn);
    emit muteButtonClicked(mMuteOn);
}

void masterstrip::on_pushPEQ_clicked() { emit eqButtonClicked(); }

void masterstrip::setMeterData(const double *levels, int mode, int intervalMs) {
    ui->widgetMeter->setMeterData(levels, mode, intervalMs);
}

void masterstrip::updateMeter() { ui->widgetMeter->repaintMeter(); }

void masterstrip::redrawWindow() {
    placeMeter();
    update();
}

void masterstrip::setOutputChannels(int channels) {
    ui->comboBoxOutBus->clear();
    ui->comboBoxOutBus->addItems(strip_pairItems(channels, true));
}

void masterstrip::setCurrentOutputBus(int bus) {
    ui->comboBoxOutBus->setCurrentIndex(bus);
    emit currentOutputChanged(bus);
}
