#include "mixer/chstrip.h"

#include <QKeyEvent>
#include <QPixmap>
#include <QThread>
#include <algorithm>
#include <cmath>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"
#include "mixer/eqcontrols.h"
#include "mixer/stripfader.h"
#include "mixer/striptext.h"
#include "mixer/widgetlissajous.h"
#include "trace/debugclient.h"
#include "ui_chstrip.h"
#include "widgets/indicators.h"
#include "widgets/valuebars.h"

namespace {

const char *const kKnobOnPicture = ":/resources2/parts/volume_on.png";
const char *const kKnobOffPicture = ":/resources2/parts/volume_off.png";
const char *const kSendOnPicture = ":/resources2/parts/FXsend_button-on.png";
const char *const kSendOffPicture = ":/resources2/parts/FXsend_button-off.png";
constexpr int kStripMeterPeriodMs = 45;

QPixmap picture(const char *path) { return QPixmap(QString::fromLatin1(path)); }

}  // namespace

chstrip::chstrip(QWidget *parent) : QWidget(parent), ui(new Ui::chstrip) {
    ui->setupUi(this);

    meterGraphic *meter = ui->widgetMeter;
    meter->connectParts(ui->widgetMeterL, ui->widgetOverL, ui->widgetMeterR, ui->widgetOverR);
    if ((!meter->mDrawWidget[0] || !meter->mDrawWidget[1]) && DebugClient::sDebugLevel > 9)
        DebugClient::SendTrace(QStringLiteral("Meter Widget NULL!"), "MAIN", 10, "chstrip", __LINE__, "chstrip");
    placeMeter();
    meter->setMeterUpdateTiming(kStripMeterPeriodMs);
    const double silence[2] = {0.0, 0.0};
    meter->setMeterData(silence, 0, kStripMeterPeriodMs);
    meter->setOver(false);

    WidgetMixvolBase *volTrack = ui->widgetVolBase;
    volTrack->mKnob = ui->label_FaderTopVol;
    volTrack->mKnob->mTravel = volTrack->height();
    volTrack->makeVolTable();
    WidgetPanBase *panTrack = ui->widgetPanBase;
    panTrack->mKnob = ui->label_FaderTopPan;
    panTrack->mKnob->mTravel = panTrack->width();

    connect(panTrack, &WidgetPanBase::panMoved, this, &chstrip::panChanged);
    connect(ui->label_FaderTopPan, &faderTopPan::faderMoved, this, &chstrip::panChanged);
    connect(volTrack, &WidgetMixvolBase::faderMoved, this, &chstrip::volChanged);
    connect(ui->label_FaderTopVol, &faderTopVol::faderMoved, this, &chstrip::volChanged);
    connect(panTrack, &WidgetPanBase::mouseReleased, this, &chstrip::panChangedFixed);
    connect(volTrack, &WidgetMixvolBase::mouseReleased, this, &chstrip::volChangedFixed);
    connect(ui->labelEqIndicator, &eqIndicator::eqIndicatorClicked, this, &chstrip::on_pushPEQ_clicked);
    connect(ui->widgetFxSendLevel, &widgetLevelbar::ValueChanged, this, &chstrip::fxSendValueChangeEvent);
    connect(ui->labelFxSend, &indicator::indicatorClicked, this, &chstrip::fxSendOnOffClickEvent);

    ui->lineEditPan->setText(QStringLiteral("C"));
    ui->lineEditVol->setText(QStringLiteral("0.0"));
    volTrack->setVolumePosition(0.0);
    ui->labelEqIndicator->selectClickControl(kIndicatorClick);
    placeMeter();
    ui->widgetMeterL->setHorizontal(false);
    ui->widgetMeterR->setHorizontal(false);
    ui->widgetLis->setDrawLayer(2);
    ui->widgetLis->setDrawPointSize(1.0f);
}

chstrip::~chstrip() { delete ui; }

void chstrip::placeMeter() {
    ui->widgetMeter->setGeometry(50, 367, 30, 160);
    ui->widgetMeterL->setGeometry(0, 15, 10, 140);
    ui->widgetMeterR->setGeometry(15, 15, 10, 140);
    ui->widgetOverL->setGeometry(0, 0, 10, 10);
    ui->widgetOverR->setGeometry(15, 0, 10, 10);
}

void chstrip::setTrackNumber(int track) {
    mTrackNumber = track;
    ui->labelCh->setPixmap(QPixmap(strip_channelPicture(track)));
    ui->widgetMeterL->setTrackNumber(track);
    ui->widgetMeterR->setTrackNumber(track);
}

// ---- Fader and pan ----------------------------------------------------

void chstrip::volChanged(int position) {
    const tMixVolSlot *table = ui->widgetVolBase->mVolTable;
    const int slot = mixvol_slotAtPixel(table, position);
    // Both tracks and knobs report 0 and up, which always find a slot.
    if (slot < 0) return;
    mLevel = table[slot].level;
    setFaderValueToText(mLevel);
    ui->label_FaderTopVol->setPixmap(picture(kKnobOnPicture));
    if (mTrackNumber >= 0) emit reportVolumeChanged(mTrackNumber);
    placeMeter();
    update();
}

void chstrip::volChangedFixed() { ui->label_FaderTopVol->setPixmap(picture(kKnobOffPicture)); }

void chstrip::panChanged(int position) {
    mPan = strip_panAtPosition(position, ui->widgetPanBase->width());
    setPanValue(mPan);
    ui->label_FaderTopPan->setPixmap(picture(kKnobOnPicture));
    if (mTrackNumber >= 0) emit reportPanChanged(mTrackNumber);
    update();
}

void chstrip::panChangedFixed() { ui->label_FaderTopPan->setPixmap(picture(kKnobOffPicture)); }

void chstrip::setFaderValueToText(float dB) { ui->lineEditVol->setText(strip_levelText(dB)); }

void chstrip::setPanValue(int pan) { ui->lineEditPan->setText(strip_panText(pan)); }

void chstrip::setVolumeValueToWidget(float dB) {
    ui->widgetVolBase->setVolumePosition(dB);
    setFaderValueToText(dB);
    update();
}

void chstrip::setPanValueToWidget(int pan) {
    ui->widgetPanBase->setPanPosition(pan);
    setPanValue(pan);
    update();
}

void chstrip::on_lineEditVol_editingFinished() {
    const float dB = strip_parseLevel(ui->lineEditVol->text());
    setFaderValueToText(dB);
    ui->widgetVolBase->setVolumePosition(dB);
    ui->lineEditVol->clearFocus();
    mLevel = dB;
    if (mTrackNumber >= 0) emit reportVolumeChanged(mTrackNumber);
}

void chstrip::on_lineEditPan_editingFinished() {
    mPan = strip_parsePan(ui->lineEditPan->text());
    ui->widgetPanBase->setPanPosition(mPan);
    setPanValue(mPan);
    ui->lineEditPan->clearFocus();
    if (mTrackNumber >= 0) emit reportPanChanged(mTrackNumber);
}

// ---- Buttons and lamps ------------------------------------------------

void chstrip::on_pushButtonRecArm_clicked() {
    // The button keeps its own checked state; nothing records from it.
}

void chstrip::on_pushButtonSolo_clicked() {
    mSoloOn = !mSoloOn;
    ui->pushButtonSolo->setChecked(mSoloOn);
    emit soloButtonClicked(mTrackNumber, mSoloOn);
}

void chstrip::on_pushButtonMute_clicked() {
    // The button's lamp is the mixer's to set: with a solo somewhere it also
    // lights on strips that are not muted themselves.
    mMuteOn = !mMuteOn;
    emit muteButtonClicked(mTrackNumber, mMuteOn);
}

void chstrip::setMuteIndicatorOn(bool on) { ui->pushButtonMute->setChecked(on); }

void chstrip::fxSendOnOffClickEvent() {
    mSendOn = !mSendOn;
    ui->labelFxSend->setPixmap(picture(mSendOn ? kSendOnPicture : kSendOffPicture));
    emit fxSendOnClicked(mTrackNumber, mSendOn);
}

void chstrip::fxSendValueChangeEvent(int levelDb) { emit fxSendLevelChanged(mTrackNumber, levelDb); }

void chstrip::on_pushPEQ_clicked() { emit reportEqButtonClicked(mTrackNumber); }

void chstrip::allEqOnOffEvent(bool on, int track) {
    if (track == mTrackNumber) ui->labelEqIndicator->changeEqIndicator(on);
}

// ---- Delay, name, inputs ----------------------------------------------

void chstrip::on_lineEditDelay_editingFinished() {
    bool ok = false;
    const double ms = ui->lineEditDelay->text().toDouble(&ok);
    // "nan" and "inf" convert, but no track can start that late: they read
    // as text that is not a number.
    if (ok && std::isfinite(ms)) {
        mDelay = ms;
    } else {
        mDelay = 0.0;
        ui->lineEditDelay->setText(QStringLiteral("0"));
    }
    emit reportDelayValChanged(mTrackNumber, mDelay);
}

void chstrip::delayTimeChangeEvent(int track, double ms) {
    if (track != mTrackNumber) return;
    mDelay = ms;
    ui->lineEditDelay->setText(QString::number(std::llround(ms)));
    emit reportDelayValChanged(mTrackNumber, ms);
}

void chstrip::on_lineEditName_editingFinished() {
    // The name is read when a project is saved.
}

QString chstrip::getTrackName() const { return ui->lineEditName->text(); }

void chstrip::trackNameLoadEvent(const QStringList &names) {
    // A list without an entry for this strip leaves its name as it is.
    if (mTrackNumber >= 0 && mTrackNumber < names.size()) ui->lineEditName->setText(names.at(mTrackNumber));
}

void chstrip::setInputCh(unsigned channels) {
    const QStringList items = strip_pairItems(static_cast<int>(std::min(channels, 1024u)), false);
    // A pair that is no longer listed falls back to the first one.
    const int keep = (mSelectedPair >= 0 && mSelectedPair < items.size()) ? mSelectedPair : 0;
    mInputChannels = channels;
    ui->comboBoxInputCh->clear();
    ui->comboBoxInputCh->addItems(items);
    ui->comboBoxInputCh->setCurrentIndex(keep);
}

void chstrip::on_comboBoxInputCh_currentIndexChanged(int index) {
    mSelectedPair = index;
    emit recChannelChanged(index);
}

void chstrip::unselectAll() {
    ui->lineEditPan->clearFocus();
    ui->lineEditVol->clearFocus();
}

// ---- Meter, scope, peak frequency -------------------------------------

void chstrip::setMeterData(const double *levels, int mode, int intervalMs) {
    if (!ui) return;
    ui->widgetMeter->setMeterData(levels, mode, intervalMs);
}

void chstrip::updateMeter() { ui->widgetMeter->repaintMeter(); }

void chstrip::redrawWindow() {
    placeMeter();
    ui->widgetFxSendLevel->setGeometry(4, 219, 80, 22);
    update();
}

void chstrip::setOverHoldTime(int ms) { ui->widgetMeter->setOverHoldTime(ms); }

void chstrip::clearPrevMeter() { ui->widgetMeter->clearPrevMeter(); }

void chstrip::repaintMeter() { ui->widgetMeter->repaintMeter(); }

void chstrip::setFFTPeakFreq(float hz) {
    mPeakFreq.store(strip_peakFreq(hz));
    if (QThread::currentThread() == thread()) {
        showPeakFreq();
        return;
    }
    // One queued update at a time: the analysis thread calls every 40 ms
    // per track, and a busy GUI thread should find one event, not a backlog.
    // An update still queued when the strip is deleted is dropped with it.
    if (!mPeakFreqPending.exchange(true))
        QMetaObject::invokeMethod(
            this, [this] { showPeakFreq(); }, Qt::QueuedConnection);
}

void chstrip::showPeakFreq() {
    // Cleared before the value is read: a value stored after this read finds
    // the flag clear and queues the next update.
    mPeakFreqPending.exchange(false);
    ui->labelFreq->setText(QStringLiteral("f=%1").arg(mPeakFreq.load()));
}

void chstrip::setLissajous(const double *frames, int count, int length, int start) {
    ui->widgetLis->setLissajous(frames, count, length, start);
}

void chstrip::redrawLissajous() {
    // The phase is refreshed before the repaint so that the label covers
    // every block handed over, even when the paint itself is put off.
    ui->widgetLis->refreshPhase();
    ui->widgetLis->update();
    ui->labelPhase->setText(QStringLiteral("θ=%1").arg(ui->widgetLis->getPhaseParameters(), 0, 'f', 1));
}

// ---- Keys -------------------------------------------------------------

void chstrip::keyPressEvent(QKeyEvent *event) { event->accept(); }

void chstrip::keyReleaseEvent(QKeyEvent *event) { event->accept(); }
