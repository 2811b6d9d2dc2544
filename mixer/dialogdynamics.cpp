#include "mixer/dialogdynamics.h"

#include <QColor>
#include <QPalette>
#include <climits>
#include <cmath>

#include "meter/drawingmeterwidget.h"
#include "meter/metergraphic.h"
#include "ui_dialogdynamics.h"

namespace {

// The compressor's amplitudes are linear with 1.0 at full scale; the meter's
// PCM mode counts full scale as 2^31.
constexpr double kDynamicsMeterScale = 2147483647.0;
constexpr int kDynamicsMeterPeriodMs = 45;

// Wires one meter to its two bars and two lamps as every meter owner does.
void wireMeter(meterGraphic *meter, drawingMeterWidget *bar0, drawingOverWidget *lamp0, drawingMeterWidget *bar1,
               drawingOverWidget *lamp1) {
    meter->mDrawWidget[0] = bar0;
    meter->mDrawWidget[2] = lamp0;
    meter->setDrawingParameter(0);
    bar0->mChannel = 0;
    lamp0->mChannel = 0;
    meter->mDrawWidget[1] = bar1;
    meter->mDrawWidget[3] = lamp1;
    meter->setDrawingParameter(1);
    bar1->mChannel = 1;
    lamp1->mChannel = 1;
    meter->setMeterUpdateTiming(kDynamicsMeterPeriodMs);
    const double silence[2] = {0.0, 0.0};
    meter->setMeterData(silence, kMeterModePcm, kDynamicsMeterPeriodMs);
    meter->setOver(false);
}

// The meters sit on the window's background: nothing of the container is
// filled.
void makeTransparent(QWidget *w) {
    QPalette pal = w->palette();
    const QColor clear(0, 0, 0, 0);
    for (QPalette::ColorRole role : {QPalette::Base, QPalette::Window, QPalette::AlternateBase, QPalette::NoRole})
        pal.setColor(role, clear);
    w->setPalette(pal);
}

void placeMeter(QWidget *meter, int y, QWidget *bar0, QWidget *bar1, QWidget *lamp0, QWidget *lamp1) {
    meter->setGeometry(10, y, 220, 15);
    bar0->setGeometry(21, 1, 150, 6);
    bar1->setGeometry(21, 8, 150, 6);
    lamp0->setGeometry(180, 1, 15, 6);
    lamp1->setGeometry(180, 8, 15, 6);
}

// The integer fields: a whole base-10 number with an optional sign; text
// that is not one, or does not fit 32 bits, reads as 0 ("2.5" reads as 0).
int fieldValue(const QLineEdit *field) { return field->text().toInt(nullptr, 10); }

}  // namespace

int dynamicsRatio10(const QString &text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) return 0;
    double tenths = value * 10.0;
    // Cut toward zero, but not below what the user typed: a decimal such as
    // 2.3 is stored a little under its value, and its product with 10 would
    // otherwise lose a whole step.
    const double nearest = std::nearbyint(tenths);
    if (std::fabs(tenths - nearest) <= 1e-9 * std::fmax(1.0, std::fabs(tenths))) tenths = nearest;
    if (tenths >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (tenths <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(tenths);
}

DialogDynamics::DialogDynamics(QWidget *parent) : QDialog(parent), ui(new Ui::DialogDynamics) {
    ui->setupUi(this);

    wireMeter(ui->widgetMeterIn, ui->widgetLchMeterIn, ui->widgetLchOverIn, ui->widgetRchMeterIn, ui->widgetRchOverIn);
    wireMeter(ui->widgetMeterIn_2, ui->widgetLchMeterIn_3, ui->widgetLchOverIn_3, ui->widgetRchMeterIn_3,
              ui->widgetRchOverIn_3);
    // Gain reduction arrives as 3 dB above full scale minus the reduction, so
    // the reduction is the part of the scale above the level: the unlit one.
    ui->widgetLchMeterIn_3->mReverse = true;
    ui->widgetRchMeterIn_3->mReverse = true;
    wireMeter(ui->widgetMeterIn_3, ui->widgetLchMeterIn_4, ui->widgetLchOverIn_4, ui->widgetRchMeterIn_4,
              ui->widgetRchOverIn_4);

    for (QWidget *meter : {static_cast<QWidget *>(ui->widgetMeterIn), static_cast<QWidget *>(ui->widgetMeterIn_2),
                           static_cast<QWidget *>(ui->widgetMeterIn_3)})
        makeTransparent(meter);

    setMeterPosition();
    for (drawingMeterWidget *bar : {ui->widgetLchMeterIn, ui->widgetRchMeterIn, ui->widgetLchMeterIn_3,
                                    ui->widgetRchMeterIn_3, ui->widgetLchMeterIn_4, ui->widgetRchMeterIn_4})
        bar->setHorizontal(true);
}

DialogDynamics::~DialogDynamics() { delete ui; }

void DialogDynamics::setMeterPosition() {
    placeMeter(ui->widgetMeterIn, 10, ui->widgetLchMeterIn, ui->widgetRchMeterIn, ui->widgetLchOverIn,
               ui->widgetRchOverIn);
    placeMeter(ui->widgetMeterIn_2, 30, ui->widgetLchMeterIn_3, ui->widgetRchMeterIn_3, ui->widgetLchOverIn_3,
               ui->widgetRchOverIn_3);
    placeMeter(ui->widgetMeterIn_3, 50, ui->widgetLchMeterIn_4, ui->widgetRchMeterIn_4, ui->widgetLchOverIn_4,
               ui->widgetRchOverIn_4);
}

void DialogDynamics::redrawWindow() {
    setMeterPosition();
    repaint();
}

void DialogDynamics::setMeterData(tDynamicsMeterType type, tDynamicsPair levels) {
    meterGraphic *meter = nullptr;
    switch (type) {
    case kDynamicsMeterIn: meter = ui->widgetMeterIn; break;
    case kDynamicsMeterOut: meter = ui->widgetMeterIn_3; break;
    case kDynamicsMeterReduction: meter = ui->widgetMeterIn_2; break;
    }
    if (meter) {
        const double scaled[2] = {levels.left * kDynamicsMeterScale, levels.right * kDynamicsMeterScale};
        meter->setMeterData(scaled, kMeterModePcm, kDynamicsMeterPeriodMs);
    }
    // The bars and lamps are GL widgets drawn into textures of their own: a
    // repaint of their container alone does not redraw them.
    ui->widgetMeterIn->repaintMeter();
    ui->widgetMeterIn_2->repaintMeter();
    ui->widgetMeterIn_3->repaintMeter();
}

void DialogDynamics::on_checkBoxDynamics_clicked(bool checked) { emit dynamicsEnable(checked ? 1 : 0); }

void DialogDynamics::on_lineEditThreshold_returnPressed() {
    emit thresholdLevelChanged(fieldValue(ui->lineEditThreshold));
}

void DialogDynamics::on_lineEditAttack_returnPressed() { emit attackTimeChanged(fieldValue(ui->lineEditAttack)); }

void DialogDynamics::on_lineEditRelease_returnPressed() { emit releaseTimeChanged(fieldValue(ui->lineEditRelease)); }

void DialogDynamics::on_lineEditRatio_returnPressed() { emit ratioChanged(dynamicsRatio10(ui->lineEditRatio->text())); }

void DialogDynamics::on_lineEditMakeup_returnPressed() { emit makeupGainChanged(fieldValue(ui->lineEditMakeup)); }
