#include "mixer/fxstrip.h"

#include <QPixmap>
#include <cstring>

#include "mixer/reverbpanel.h"
#include "mixer/stripfader.h"
#include "ui_fxstrip.h"

namespace {

const char *const kFxOnPicture = ":/resources2/parts/FX_button-on.png";
const char *const kFxOffPicture = ":/resources2/parts/FX_button-off.png";

}  // namespace

fxstrip::fxstrip(QWidget *parent) : QWidget(parent), ui(new Ui::fxstrip) {
    std::memset(&mPanelParam, 0, sizeof mPanelParam);
    ui->setupUi(this);
    // A dialog with a parent: its own window, going with the strip.
    mReverbPanel = new reverbPanel(this);

    connect(ui->labelFxIndicator, &indicator::indicatorClicked, this, &fxstrip::fxIndicatorClickEvent);
    connect(ui->labelFxIndicator, &indicator::selOnOff, this, &fxstrip::selOnOffEvent);
    connect(mReverbPanel, &reverbPanel::reverbParamChanged, this, &fxstrip::reverbParamChangeEvent);
    connect(mReverbPanel, &reverbPanel::ERClicked, this, &fxstrip::ERclickEvent);
    connect(mReverbPanel, &reverbPanel::CombFilterClicked, this, &fxstrip::CombFilterClickEvent);
    connect(mReverbPanel, &reverbPanel::APFClicked, this, &fxstrip::APFclickEvent);
    mReverbPanel->getPanelParam(&mPanelParam);

    WidgetMixvolBase *track = ui->widgetVolBase;
    track->mKnob = ui->label_FaderTopVol;
    track->mKnob->mTravel = track->height();
    track->makeVolTable();
    // Only the knob reports: a press on the track moves the knob without
    // changing the level until the knob itself is dragged.
    connect(track->mKnob, &faderTopVol::faderMoved, this, &fxstrip::volChangeEvent);
    levelAt(track->mKnob->y(), &mFaderDb);
    mOutputBus = 0;
}

fxstrip::~fxstrip() { delete ui; }

bool fxstrip::levelAt(int position, float *dB) const {
    const int slot = mixvol_slotAtPixel(ui->widgetVolBase->mVolTable, position);
    if (slot < 0) return false;
    *dB = ui->widgetVolBase->mVolTable[slot].level;
    return true;
}

void fxstrip::fxIndicatorClickEvent() {
    mReverbPanel->raise();
    mReverbPanel->show();
}

void fxstrip::volChangeEvent(int position) {
    // Knobs report 0 and up, which always find a step.
    if (!levelAt(position, &mFaderDb)) return;
    emit reportVolumeChanged(0);
}

void fxstrip::selOnOffEvent(int on) {
    // Replaces the picture the lamp has just shown for its new state.
    ui->labelFxIndicator->setPixmap(QPixmap(QString::fromLatin1(on != 0 ? kFxOnPicture : kFxOffPicture)));
    emit fxSetToOnOff(on);
}

void fxstrip::contKeyPressed() { ui->labelFxIndicator->contKeyPressed(); }

void fxstrip::contKeyReleased() { ui->labelFxIndicator->contKeyReleased(); }

void fxstrip::setOutputChannels(int channels) {
    mOutputChannels = channels;
    // Clearing reports index -1, the first item then index 0.
    ui->comboBoxOutBus->clear();
    ui->comboBoxOutBus->addItem(QStringLiteral("(NO Out)"));
    for (int i = 0; i + 1 < channels; i += 2)
        ui->comboBoxOutBus->addItem(QStringLiteral("Ch %1-%2").arg(i + 1).arg(i + 2));
}

void fxstrip::setCurrentOutputBus(int bus) {
    mOutputBus = bus;
    ui->comboBoxOutBus->setCurrentIndex(bus);
}

void fxstrip::on_comboBoxOutBus_currentIndexChanged(int index) {
    mOutputBus = index;
    emit currentOutputChanged(index);
}

void fxstrip::reverbParamChangeEvent() {
    mReverbPanel->getPanelParam(&mPanelParam);
    emit reverbParamChanged(&mPanelParam);
}

void fxstrip::ERclickEvent(bool on) { emit ERclicked(on); }

void fxstrip::CombFilterClickEvent(bool on) { emit CombFilterClicked(on); }

void fxstrip::APFclickEvent(bool on) { emit APFclicked(on); }

void fxstrip::setInitRefParams(const tReverbFilterParams *tables) { mReverbPanel->setRefParams(tables); }

void fxstrip::redrawWindow() {
    ui->widgetMeter->setGeometry(50, 297, 30, 160);
    ui->widgetMeterL->setGeometry(0, 15, 10, 140);
    ui->widgetMeterR->setGeometry(15, 15, 10, 140);
    ui->widgetOverL->setGeometry(0, 0, 10, 10);
    ui->widgetOverR->setGeometry(15, 0, 10, 10);
}
