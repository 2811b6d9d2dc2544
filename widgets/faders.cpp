#include "widgets/faders.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace {

const char *const kKnobOnPicture = ":/resources2/parts/volume_on.png";
const char *const kKnobOffPicture = ":/resources2/parts/volume_off.png";

// Pointer coordinates are fractional; the fader works in whole pixels,
// rounded half away from zero.
int roundedPixel(qreal v) { return static_cast<int>(std::lround(v)); }

}  // namespace

void faderMakeVolTable(int width, tFaderVolEntry table[kFaderVolEntries]) {
    for (int i = 0; i < kFaderVolEntries; ++i) table[i] = {-1, -120};

    // Single-precision steps accumulated from the right end: the positions
    // are part of the fader's look and of the levels saved from it.
    const int s = (16 - width) / 5;
    const float stepA = static_cast<float>(s) / 6.0f;   // 0..−12 dB
    const float stepB = static_cast<float>(s) / 12.0f;  // below −12 dB
    float p = static_cast<float>(width);
    int i = 0;
    const auto put = [&](int dB, float step) {
        table[i++] = {static_cast<int>(p) - 10, dB};
        p += step;
    };
    for (int dB = 0; dB > -12; --dB) put(dB, stepA);
    put(-12, stepB);
    for (int dB = -13; dB >= -36; --dB) put(dB, stepB);
    for (int dB = -38; dB >= -58; dB -= 2) put(dB, stepB);
    put(-120, stepB);
}

int faderVolumeIndex(const tFaderVolEntry table[kFaderVolEntries], double dB) {
    for (int i = 0; i < kFaderVolEntries; ++i) {
        if (table[i].levelDb <= dB) return i;
    }
    return -1;
}

int faderLevelAtPosition(const tFaderVolEntry table[kFaderVolEntries], int x) {
    for (int i = kFaderVolEntries - 1; i >= 0; --i) {
        if (table[i].position >= x) return table[i].levelDb;
    }
    return 0;
}

int faderTrackKnobX(int x, int width) {
    if (x < 5) return 0;
    if (x > width - 11) return width - kFaderKnobReach;
    return x - 5;
}

int knob_dragPosition(int pointer, int knobAtPress, int pointerAtPress, int travel) {
    const int v = pointer + knobAtPress - pointerAtPress;
    return v < 0 ? 0 : std::min(v, travel - kFaderKnobReach);
}

faderKnob::faderKnob(Qt::Orientation axis, int travel, int across, QWidget *parent)
    : QLabel(parent), mTravel(travel), mAxis(axis), mAcross(across) {}

void faderKnob::mousePressEvent(QMouseEvent *event) {
    const bool vertical = mAxis == Qt::Vertical;
    mPressed = true;
    mStartPosition = vertical ? y() : x();
    mPressPosition = roundedPixel(vertical ? event->globalPosition().y() : event->globalPosition().x());
    setPixmap(QPixmap(QString::fromLatin1(kKnobOnPicture)));
}

void faderKnob::mouseMoveEvent(QMouseEvent *event) {
    if (!mPressed) return;
    const bool vertical = mAxis == Qt::Vertical;
    const int pointer = roundedPixel(vertical ? event->globalPosition().y() : event->globalPosition().x());
    const int v = knob_dragPosition(pointer, mStartPosition, mPressPosition, mTravel);
    if (vertical)
        move(mAcross, v);
    else
        move(v, mAcross);
    emit faderMoved(v);
}

void faderKnob::mouseReleaseEvent(QMouseEvent *) {
    mPressed = false;
    setPixmap(QPixmap(QString::fromLatin1(kKnobOffPicture)));
}

WidgetFaderBase::WidgetFaderBase(QWidget *parent) : QWidget(parent) { faderMakeVolTable(width(), mVolTable); }

void WidgetFaderBase::makeVolTable() { faderMakeVolTable(width(), mVolTable); }

void WidgetFaderBase::load(const QString &path) {
    mBackImage.load(path);
    makeVolTable();
}

void WidgetFaderBase::setVolumePosition(double dB) {
    const int i = faderVolumeIndex(mVolTable, dB);
    if (i >= 0 && mKnob) mKnob->move(mVolTable[i].position, 0);
}

void WidgetFaderBase::moveFader(QMouseEvent *event) {
    const int knobX = faderTrackKnobX(roundedPixel(event->position().x()), width());
    if (mKnob) mKnob->move(knobX, 0);
    emit faderMoved(knobX);
}

void WidgetFaderBase::mousePressEvent(QMouseEvent *event) {
    mPressed = true;
    moveFader(event);
}

void WidgetFaderBase::mouseMoveEvent(QMouseEvent *event) {
    if (mPressed) moveFader(event);
}

void WidgetFaderBase::mouseReleaseEvent(QMouseEvent *) { mPressed = false; }

void WidgetFaderBase::paintEvent(QPaintEvent *) {
    if (mBackImage.isNull()) return;
    QPainter painter(this);
    painter.drawImage(rect(), mBackImage);
}
