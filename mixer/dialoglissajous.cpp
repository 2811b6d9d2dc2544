#include "mixer/dialoglissajous.h"

#include <QPalette>
#include <QResizeEvent>
#include <QShowEvent>
#include <cmath>
#include <cstdlib>

#include "mixer/widgetlissajous.h"
#include "ui_dialoglissajous.h"

QString lissajous_readoutText(double meanDegrees) {
    const long long whole = std::llabs(static_cast<long long>(std::trunc(meanDegrees)));
    const long long tenth = std::llabs(static_cast<long long>(std::trunc(10.0 * meanDegrees)) % 10);
    return QStringLiteral("θ = ") + (meanDegrees < 0.0 ? QStringLiteral("-") : QString()) + QString::number(whole) +
           QLatin1Char('.') + QString::number(tenth);
}

tLissajousOverlay lissajous_overlayPositions(int w, int h) {
    auto at = [w, h](double fx, double fy) { return QPoint(static_cast<int>(fx * w), static_cast<int>(fy * h)); };
    return {at(0.2, 0.2), at(0.75, 0.2), at(0.76, 0.76), at(0.16, 0.65), at(0.2, 0.75)};
}

DialogLissajous::DialogLissajous(QWidget *parent) : QDialog(parent), ui(new Ui::DialogLissajous) {
    ui->setupUi(this);
    for (QLabel *label : {ui->label_L, ui->label_R, ui->label_phase, ui->labelLayer}) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::All, QPalette::WindowText, QColor(240, 240, 240));
        label->setPalette(palette);
    }
    // The form's combo shows "6" without calling the slot.
    ui->widgetLissa->setDrawLayer(6);
}

DialogLissajous::~DialogLissajous() { delete ui; }

void DialogLissajous::setLissajous(const double *frames, int count, int length, int start) {
    ui->widgetLissa->setLissajous(frames, count, length, start);
}

// A repaint of a GL widget may be put off until the window's next frame, so
// the phase is refreshed here rather than left to the paint: the read-out
// then always covers the blocks handed over before it.
void DialogLissajous::redrawLissajous() {
    ui->widgetLissa->refreshPhase();
    ui->widgetLissa->repaint();
    mAngle = ui->widgetLissa->getPhaseParameters();
    mPhaseHistory[mHistoryIndex] = mAngle;
    mHistoryIndex = (mHistoryIndex + 1) % kLissajousPhaseHistory;
    double sum = 0.0;
    for (double phase : mPhaseHistory) sum += phase;
    ui->label_phase->setText(lissajous_readoutText(sum * 0.0625));
}

void DialogLissajous::drawLissajous(const double *, int) {
    ui->widgetLissa->refreshPhase();
    ui->widgetLissa->repaint();
    const double phase = ui->widgetLissa->getPhaseParameters();
    ui->label_phase->setText(QStringLiteral("φ = ") + QString::number(static_cast<long long>(std::trunc(phase))) +
                             QStringLiteral(".0"));
}

void DialogLissajous::on_comboBoxLayer_currentIndexChanged(int index) { ui->widgetLissa->setDrawLayer(index + 1); }

void DialogLissajous::showEvent(QShowEvent *event) {
    // Taken here rather than at construction: the window is built with the
    // main window but many sessions never open it.
    ui->widgetLissa->allocateLayers();
    QDialog::showEvent(event);
}

void DialogLissajous::resizeEvent(QResizeEvent *event) {
    QDialog::resizeEvent(event);
    const int w = event->size().width();
    if (w == event->size().height()) return;
    resize(w, w);
    // Placed for the square the window is becoming.
    const tLissajousOverlay at = lissajous_overlayPositions(w, w);
    ui->label_L->move(at.labelL);
    ui->label_R->move(at.labelR);
    ui->label_phase->move(at.labelPhase);
    ui->labelLayer->move(at.labelLayer);
    ui->comboBoxLayer->move(at.comboLayer);
}
