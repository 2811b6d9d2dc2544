#include "editing/edittimelinescroll.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "ui_edittimelinescroll.h"

namespace {

// The scroll handler divides by the maximum, and the maximum is halved and
// doubled by the zoom buttons: keep it within 1..INT_MAX.
int clampMaximum(int64_t m) { return static_cast<int>(std::clamp<int64_t>(m, 1, INT_MAX)); }

}  // namespace

editTimelineScroll::editTimelineScroll(QWidget *parent) : QWidget(parent), ui(new Ui::editTimelineScroll) {
    ui->setupUi(this);
    mMax = ui->waveScrollBar->maximum();
    mCurrent = ui->waveScrollBar->value();
}

editTimelineScroll::~editTimelineScroll() { delete ui; }

void editTimelineScroll::setSliderMax(int maximum) {
    // A position beyond the new maximum is pulled back inside setMaximum,
    // whose report already sees the new maximum.
    mMax = clampMaximum(maximum);
    ui->waveScrollBar->setMaximum(mMax);
    mMax = ui->waveScrollBar->maximum();
}

void editTimelineScroll::setSliderCurrent(int value) {
    ui->waveScrollBar->setValue(value);
    mCurrent = ui->waveScrollBar->value();
}

void editTimelineScroll::on_zoomInTimeButton_clicked() {
    mMax = clampMaximum(mMax / 2);
    ui->waveScrollBar->setMaximum(mMax);
    emit zoomInClicked();
}

void editTimelineScroll::on_zoomOutTimeButton_clicked() {
    mMax = clampMaximum(static_cast<int64_t>(mMax) * 2);
    ui->waveScrollBar->setMaximum(mMax);
    emit zoomOutClicked();
}

void editTimelineScroll::on_waveScrollBar_sliderMoved(int) {}

void editTimelineScroll::on_waveScrollBar_valueChanged(int value) {
    mCurrent = value;
    emit sliderMoved(value);
}
