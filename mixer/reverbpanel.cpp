#include "mixer/reverbpanel.h"

#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <cmath>
#include <limits>

#include "mixer/widgetreverb.h"
#include "ui_reverbpanel.h"

namespace {

enum : int { kAnimationMs = 100 };

// The room: full view height 120 m, full width 80 m.
constexpr float kViewLongM = 120.0f;
constexpr float kViewWideM = 80.0f;

QString openFileNameByDialog(QWidget *parent, const QString &caption, const QString &dir, const QString &filter) {
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

// A table value truncated to a slider position; values beyond int (and NaN)
// would be undefined to convert, and no slider reaches them anyway.
int truncToInt(float v) {
    if (!(v > -2147483648.0f)) return v != v ? 0 : std::numeric_limits<int>::min();
    if (v >= 2147483648.0f) return std::numeric_limits<int>::max();
    return static_cast<int>(v);
}

}  // namespace

int reverbPanel_roomPx(int viewPx, int sliderValue) { return viewPx * sliderValue / 100; }

float reverbPanel_roomWideM(int sliderValue) { return static_cast<float>((sliderValue * 80) / 100.0); }

float reverbPanel_roomLongM(int sliderValue) { return static_cast<float>((sliderValue * 120) / 100.0); }

QString reverbPanel_metreText(float metres) { return QString::number(truncToInt(metres)) + QStringLiteral("m"); }

double reverbPanel_ratioToM(float ratio) { return static_cast<double>(ratio * kViewLongM); }

int reverbPanel_readInt(const QString &text) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : 0;
}

float reverbPanel_readFloat(const QString &text) {
    bool ok = false;
    const float v = text.toFloat(&ok);
    return ok && std::isfinite(v) ? v : 0.0f;
}

QString reverbPanel_levelText(int sliderValue) {
    return QString::number(static_cast<double>(static_cast<float>(sliderValue) / 100.0f), 'f', 2);
}

QString reverbPanel_tableText(float value) { return QString::number(static_cast<double>(value), 'g', 6); }

int reverbPanel_levelSlider(float level) {
    // In single precision: 0.24f × 100 rounds to 24 here but is 23.99999... in double.
    const float scaled = level * 100.0f;
    return truncToInt(scaled);
}

reverbPanel::tOpenFileNameFunc reverbPanel::sGetOpenFileName = openFileNameByDialog;

reverbPanel::reverbPanel(QWidget *parent) : QDialog(parent), ui(new Ui::reverbPanel) {
    // The form sets its values before it connects the slots by name, so
    // building it reports nothing.
    ui->setupUi(this);

    mEr[0] = {ui->slideLvER, ui->slideCutOffER, ui->slideOrderER, ui->labelLVER, ui->labelCutOffER, ui->labelOrderER};
    mEr[1] = {ui->slideLvER_2, ui->slideCutOffER_2, ui->slideOrderER_2,
              ui->labelLVER_2, ui->labelCutOffER_2, ui->labelOrderER_2};
    mEr[2] = {ui->slideLvER_3, ui->slideCutOffER_3, ui->slideOrderER_3,
              ui->labelLVER_3, ui->labelCutOffER_3, ui->labelOrderER_3};
    mEr[3] = {ui->slideLvER_4, ui->slideCutOffER_4, ui->slideOrderER_4,
              ui->labelLVER_4, ui->labelCutOffER_4, ui->labelOrderER_4};
    mEr[4] = {ui->slideLvER_5, ui->slideCutOffER_5, ui->slideOrderER_5,
              ui->labelLVER_5, ui->labelCutOffER_5, ui->labelOrderER_5};
    mEr[5] = {ui->slideLvER_6, ui->slideCutOffER_6, ui->slideOrderER_6,
              ui->labelLVER_6, ui->labelCutOffER_6, ui->labelOrderER_6};
    mEr[6] = {ui->slideLvER_7, ui->slideCutOffER_7, ui->slideOrderER_7,
              ui->labelLVER_7, ui->labelCutOffER_7, ui->labelOrderER_7};
    mEr[7] = {ui->slideLvER_8, ui->slideCutOffER_8, ui->slideOrderER_8,
              ui->labelLVER_8, ui->labelCutOffER_8, ui->labelOrderER_8};
    mEr[8] = {ui->slideLvER_9, ui->slideCutOffER_9, ui->slideOrderER_9,
              ui->labelLVER_9, ui->labelCutOffER_9, ui->labelOrderER_9};
    mEr[9] = {ui->slideLvER_10, ui->slideCutOffER_10, ui->slideOrderER_10,
              ui->labelLVER_10, ui->labelCutOffER_10, ui->labelOrderER_10};
    mComb[0] = {ui->CombDelay_1, ui->CombPickup_1, ui->labelCombDelayValue_1, ui->labelCombPickupValue_1};
    mComb[1] = {ui->CombDelay_2, ui->CombPickup_2, ui->labelCombDelayValue_2, ui->labelCombPickupValue_2};
    mComb[2] = {ui->CombDelay_3, ui->CombPickup_3, ui->labelCombDelayValue_3, ui->labelCombPickupValue_3};
    mComb[3] = {ui->CombDelay_4, ui->CombPickup_4, ui->labelCombDelayValue_4, ui->labelCombPickupValue_4};
    mComb[4] = {ui->CombDelay_5, ui->CombPickup_5, ui->labelCombDelayValue_5, ui->labelCombPickupValue_5};
    mComb[5] = {ui->CombDelay_6, ui->CombPickup_6, ui->labelCombDelayValue_6, ui->labelCombPickupValue_6};
    mApf[0] = ui->slideAPF;
    mApf[1] = ui->slideAPF_2;
    mApfLabel[0] = ui->labelAPFDelay;
    mApfLabel[1] = ui->labelAPFDelay_2;

    // The plan starts at the sliders' sizes; the metres keep their own
    // starting values until a slider moves.
    widgetReverb *view = ui->reverbFig;
    view->setRoomWide(reverbPanel_roomPx(view->width(), ui->horizontalSliderWide->value()));
    view->setRoomLong(reverbPanel_roomPx(view->height(), ui->verticalSliderLong->value()));

    mTimer = new QTimer(this);
    connect(mTimer, &QTimer::timeout, this, &reverbPanel::cycleHandler);
    mTimer->start(kAnimationMs);

    connect(view, &widgetReverb::reverbParamChanged, this, &reverbPanel::reverbParamChangeEvent);
}

reverbPanel::~reverbPanel() { delete ui; }

widgetReverb *reverbPanel::roomView() const { return ui->reverbFig; }

void reverbPanel::getPanelParam(tReverbPanelParam *r) {
    if (r == nullptr) return;
    r->density = reverbPanel_readInt(ui->lineEdit_Density->text());
    r->erTime = reverbPanel_readInt(ui->lineEdit_ER->text());
    r->highDamp = reverbPanel_readInt(ui->lineEdit_HDump->text());
    r->preDelay = reverbPanel_readFloat(ui->lineEditPreDelay->text());
    r->reverbTime = reverbPanel_readInt(ui->lineEdit_RevTime->text());
    r->roomLong = mRoomLongM;
    r->roomWide = mRoomWideM;
    r->fixedValue = mFixedValue;
    mDepthM = reverbPanel_ratioToM(ui->reverbFig->depthRatio());
    mBehindM = reverbPanel_ratioToM(ui->reverbFig->behindRatio());
    r->sourceDepth = mDepthM;
    r->listenerBehind = mBehindM;
    r->erLevel = static_cast<float>(ui->ERLevel->value()) / 100.0f;
    r->combLevel = static_cast<float>(ui->CombLevel->value()) / 100.0f;
    r->apfLevel = static_cast<float>(ui->APFLevel->value()) / 100.0f;
    // From the labels, so the record holds exactly what the user sees.
    for (int k = 0; k < kReverbEarlyReflections; ++k) {
        tEarlyReflectionRow &row = r->erRows[k];
        row.level = reverbPanel_readFloat(mEr[k].levelLabel->text());
        erRow_cutOff(row) = static_cast<float>(reverbPanel_readInt(mEr[k].cutOffLabel->text()));
        erRow_order(row) = static_cast<float>(reverbPanel_readInt(mEr[k].orderLabel->text()));
    }
    for (int k = 0; k < kReverbCombFilters; ++k) r->combDelay[k] = mComb[k].delay->value();
    for (int k = 0; k < kReverbCombFilters; ++k) r->combPickup[k] = mComb[k].pickup->value();
    for (int k = 0; k < kReverbAllPassFilters; ++k) r->apfDelay[k] = mApf[k]->value();
    r->highDampInt = reverbPanel_readInt(ui->lineEdit_HDump->text());
    r->apfHighDamp = reverbPanel_readInt(ui->lineEdit_HDump_APF->text());
    r->useIr = ui->checkBoxUseIR->isChecked();
    r->irBuffer = mIrBuffer;
}

void reverbPanel::setRefParams(const tReverbFilterParams *t) {
    if (t == nullptr) return;
    // Labels first: a slider that keeps its value keeps this label, one that
    // moves rewrites it in its own wording and reports.
    if (const tEarlyReflectionRow *er = t->earlyReflections) {
        for (int k = 0; k < kReverbEarlyReflections; ++k) {
            mEr[k].levelLabel->setText(reverbPanel_tableText(er[k].level));
            mEr[k].level->setValue(reverbPanel_levelSlider(er[k].level));
        }
        for (int k = 0; k < kReverbEarlyReflections; ++k) {
            mEr[k].cutOffLabel->setText(reverbPanel_tableText(erRow_cutOff(er[k])));
            mEr[k].cutOff->setValue(truncToInt(erRow_cutOff(er[k])));
        }
        for (int k = 0; k < kReverbEarlyReflections; ++k) {
            mEr[k].orderLabel->setText(reverbPanel_tableText(erRow_order(er[k])));
            mEr[k].order->setValue(truncToInt(erRow_order(er[k])));
        }
    }
    if (const tCombFilterRow *comb = t->combFilters) {
        for (int k = 0; k < kReverbCombFilters; ++k) {
            mComb[k].delayLabel->setText(QString::number(comb[k].delay));
            mComb[k].delay->setValue(comb[k].delay);
            mComb[k].pickupLabel->setText(QString::number(comb[k].pickUp));
            mComb[k].pickup->setValue(comb[k].pickUp);
        }
    }
    if (const tAllPassRow *apf = t->allPassFilters) {
        for (int k = 0; k < kReverbAllPassFilters; ++k) {
            mApfLabel[k]->setText(QString::number(apf[k].delay));
            mApf[k]->setValue(apf[k].delay);
        }
    }
}

void reverbPanel::showValue(QLabel *label, const QString &text) {
    label->setText(text);
    emit reverbParamChanged();
}

void reverbPanel::setLevelLabel(int row, int value) { showValue(mEr[row].levelLabel, reverbPanel_levelText(value)); }

void reverbPanel::on_horizontalSliderWide_valueChanged(int value) {
    widgetReverb *view = ui->reverbFig;
    view->setRoomWide(reverbPanel_roomPx(view->width(), value));
    mRoomWideM = reverbPanel_roomWideM(value);
    ui->labelWideMeter->setText(reverbPanel_metreText(mRoomWideM));
    emit reverbParamChanged();
}

void reverbPanel::on_verticalSliderLong_valueChanged(int value) {
    widgetReverb *view = ui->reverbFig;
    view->setRoomLong(reverbPanel_roomPx(view->height(), value));
    mRoomLongM = reverbPanel_roomLongM(value);
    ui->labelLongMeter->setText(reverbPanel_metreText(mRoomLongM));
    emit reverbParamChanged();
}

void reverbPanel::cycleHandler() {
    if (mRunning) ui->reverbFig->calcPropagation(kAnimationMs);
}

void reverbPanel::on_pushButtonPropReset_clicked() { ui->reverbFig->resetPropPoint(); }

void reverbPanel::on_pushButtonStart_clicked() { mRunning = true; }

void reverbPanel::on_pushButtonStop_clicked() { mRunning = false; }

void reverbPanel::on_lineEditPreDelay_editingFinished() { emit reverbParamChanged(); }

void reverbPanel::on_checkBoxER_clicked(bool checked) { emit ERClicked(checked); }

void reverbPanel::on_checkBoxCombFilter_clicked(bool checked) { emit CombFilterClicked(checked); }

void reverbPanel::on_checkBoxAPF_clicked(bool checked) { emit APFClicked(checked); }

void reverbPanel::reverbParamChangeEvent() {
    widgetReverb *view = ui->reverbFig;
    mDepthM = reverbPanel_ratioToM(view->depthRatio());
    mBehindM = reverbPanel_ratioToM(view->behindRatio());
    // The distance between source and listening point along the room.
    const double preDelay = static_cast<double>(mRoomLongM) - mDepthM - mBehindM;
    ui->lineEditPreDelay->setText(QString::number(preDelay, 'f', 1));
    ui->labelBehind->setText(QString::number(mBehindM, 'f', 1) + QStringLiteral("m"));
    ui->labelDepth->setText(QString::number(mDepthM, 'f', 1) + QStringLiteral("m"));
    emit reverbParamChanged();
}

void reverbPanel::on_ERLevel_valueChanged(int value) { showValue(ui->labelERLevel, QString::number(value)); }

void reverbPanel::on_CombLevel_valueChanged(int value) { showValue(ui->labelCombLevel, QString::number(value)); }

void reverbPanel::on_CombDelay_1_valueChanged(int value) { showValue(mComb[0].delayLabel, QString::number(value)); }
void reverbPanel::on_CombDelay_2_valueChanged(int value) { showValue(mComb[1].delayLabel, QString::number(value)); }
void reverbPanel::on_CombDelay_3_valueChanged(int value) { showValue(mComb[2].delayLabel, QString::number(value)); }
void reverbPanel::on_CombDelay_4_valueChanged(int value) { showValue(mComb[3].delayLabel, QString::number(value)); }
void reverbPanel::on_CombDelay_5_valueChanged(int value) { showValue(mComb[4].delayLabel, QString::number(value)); }
void reverbPanel::on_CombDelay_6_valueChanged(int value) { showValue(mComb[5].delayLabel, QString::number(value)); }

void reverbPanel::on_slideLvER_valueChanged(int value) { setLevelLabel(0, value); }
void reverbPanel::on_slideLvER_2_valueChanged(int value) { setLevelLabel(1, value); }
void reverbPanel::on_slideLvER_3_valueChanged(int value) { setLevelLabel(2, value); }
void reverbPanel::on_slideLvER_4_valueChanged(int value) { setLevelLabel(3, value); }
void reverbPanel::on_slideLvER_5_valueChanged(int value) { setLevelLabel(4, value); }
void reverbPanel::on_slideLvER_6_valueChanged(int value) { setLevelLabel(5, value); }
void reverbPanel::on_slideLvER_7_valueChanged(int value) { setLevelLabel(6, value); }
void reverbPanel::on_slideLvER_8_valueChanged(int value) { setLevelLabel(7, value); }
void reverbPanel::on_slideLvER_9_valueChanged(int value) { setLevelLabel(8, value); }
void reverbPanel::on_slideLvER_10_valueChanged(int value) { setLevelLabel(9, value); }

void reverbPanel::on_slideCutOffER_valueChanged(int value) { showValue(mEr[0].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_2_valueChanged(int value) { showValue(mEr[1].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_3_valueChanged(int value) { showValue(mEr[2].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_4_valueChanged(int value) { showValue(mEr[3].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_5_valueChanged(int value) { showValue(mEr[4].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_6_valueChanged(int value) { showValue(mEr[5].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_7_valueChanged(int value) { showValue(mEr[6].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_8_valueChanged(int value) { showValue(mEr[7].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_9_valueChanged(int value) { showValue(mEr[8].cutOffLabel, QString::number(value)); }
void reverbPanel::on_slideCutOffER_10_valueChanged(int value) { showValue(mEr[9].cutOffLabel, QString::number(value)); }

void reverbPanel::on_slideOrderER_valueChanged(int value) { showValue(mEr[0].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_2_valueChanged(int value) { showValue(mEr[1].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_3_valueChanged(int value) { showValue(mEr[2].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_4_valueChanged(int value) { showValue(mEr[3].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_5_valueChanged(int value) { showValue(mEr[4].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_6_valueChanged(int value) { showValue(mEr[5].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_7_valueChanged(int value) { showValue(mEr[6].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_8_valueChanged(int value) { showValue(mEr[7].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_9_valueChanged(int value) { showValue(mEr[8].orderLabel, QString::number(value)); }
void reverbPanel::on_slideOrderER_10_valueChanged(int value) { showValue(mEr[9].orderLabel, QString::number(value)); }

void reverbPanel::on_lineEdit_RevTime_returnPressed() { emit reverbParamChanged(); }

void reverbPanel::on_lineEdit_HDump_returnPressed() { emit reverbParamChanged(); }

void reverbPanel::on_APFLevel_valueChanged(int value) { showValue(ui->labelARLevel, QString::number(value)); }

void reverbPanel::on_slideAPF_valueChanged(int value) { showValue(mApfLabel[0], QString::number(value)); }
void reverbPanel::on_slideAPF_2_valueChanged(int value) { showValue(mApfLabel[1], QString::number(value)); }

void reverbPanel::on_lineEdit_HDump_APF_returnPressed() { emit reverbParamChanged(); }

void reverbPanel::on_pushButtonLoadIR_clicked() {
    const QString path = sGetOpenFileName(this, tr("Open IR-Audio File"), QDir::currentPath(),
                                          tr("Supported files (*.wav);;All files (*.*)"));
    if (path.isEmpty()) return;
    // The panel shows no loading errors: an unreadable file leaves the
    // buffer as it was, and the buffer is handed on either way.
    (void)mResponse.loadIRfile(reinterpret_cast<const wchar16 *>(path.utf16()), 24000);
    mIrBuffer = mResponse.getIrBuf();
}

void reverbPanel::on_pushButtonLoadIR_clicked(bool) { emit reverbParamChanged(); }
