#include "mixer/stripfader.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>

namespace {

const char *const kFaderBackground = ":/resources2/bg/faderBack.png";
const char *const kPanBackground = ":/resources2/bg/panBack.png";

// Pointer positions arrive in fractional pixels; halves go away from zero.
int roundedPixel(double v) { return static_cast<int>(std::lround(v)); }

// Level of step k of the fader law (k = 0..73).
float stepLevel(int k) {
    if (k <= 36) return -0.5f * static_cast<float>(k - 12);  // slot 12 is −0.0 dB
    if (k <= 60) return -13.0f - static_cast<float>(k - 37);
    if (k <= 72) return -38.0f - 2.0f * static_cast<float>(k - 61);
    return -120.0f;
}

}  // namespace

void mixvol_makeTable(int height, tMixVolSlot table[kMixVolSlots]) {
    for (int k = 0; k < kMixVolSlots; ++k) table[k] = {kMixVolSparePixel, -120.0f};
    const float step = static_cast<float>((height - 20) / 6) / 12.0f;
    float sum = 0.0f;
    for (int k = 0; k < kMixVolSteps; ++k) {
        table[k] = {static_cast<int>(sum), stepLevel(k)};
        sum += step;
    }
}

int mixvol_slotForLevel(const tMixVolSlot table[kMixVolSlots], double dB) {
    for (int k = 0; k < kMixVolSlots; ++k)
        if (table[k].level <= dB) return k;
    return -1;
}

int mixvol_slotAtPixel(const tMixVolSlot table[kMixVolSlots], int p) {
    for (int k = kMixVolSlots - 1; k >= 0; --k)
        if (table[k].pixel <= p) return k;
    return -1;
}

int mixvol_trackKnobPosition(int y, int height) { return y < 15 ? 0 : std::min(y, height - 1) - 15; }

int pan_trackKnobPosition(int x, int width) { return x < 16 ? 0 : std::min(x, width) - 16; }

int pan_knobPosition(int pan, int width) { return (width - kMixKnobReach) * (pan + 100) / 200; }

// ---- mixTrackBase ----

mixTrackBase::mixTrackBase(const QString &background, QWidget *parent) : QWidget(parent), mBackground(background) {}

mixTrackBase::~mixTrackBase() = default;

void mixTrackBase::setBackground(const QString &path) {
    mBackground = QImage(path);
    update();
}

void mixTrackBase::mousePressEvent(QMouseEvent *event) {
    mPressed = true;
    moveKnobTo(event);
}

void mixTrackBase::mouseMoveEvent(QMouseEvent *event) {
    if (mPressed) moveKnobTo(event);
}

void mixTrackBase::mouseReleaseEvent(QMouseEvent *) {
    mPressed = false;
    emit mouseReleased();
}

void mixTrackBase::paintEvent(QPaintEvent *) {
    if (mBackground.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, mBackground.scaled(size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

// ---- WidgetMixvolBase ----

WidgetMixvolBase::WidgetMixvolBase(QWidget *parent) : mixTrackBase(QString::fromLatin1(kFaderBackground), parent) {
    makeVolTable();
}

WidgetMixvolBase::~WidgetMixvolBase() = default;

void WidgetMixvolBase::makeVolTable() { mixvol_makeTable(height(), mVolTable); }

void WidgetMixvolBase::setVolumePosition(double dB) {
    const int slot = mixvol_slotForLevel(mVolTable, dB);
    if (slot < 0 || mKnob == nullptr) return;
    mKnob->move(7, mVolTable[slot].pixel);
}

void WidgetMixvolBase::load(const QString &path) {
    setBackground(path);
    makeVolTable();
}

void WidgetMixvolBase::moveKnobTo(QMouseEvent *event) {
    const int p = mixvol_trackKnobPosition(roundedPixel(event->position().y()), height());
    if (mKnob != nullptr) mKnob->move(7, p);
    emit faderMoved(p);
}

// ---- WidgetPanBase ----

WidgetPanBase::WidgetPanBase(QWidget *parent) : mixTrackBase(QString::fromLatin1(kPanBackground), parent) {}

WidgetPanBase::~WidgetPanBase() = default;

void WidgetPanBase::setPanPosition(int pan) {
    if (mKnob != nullptr) mKnob->move(pan_knobPosition(pan, width()), 0);
}

void WidgetPanBase::load(const QString &path) { setBackground(path); }

void WidgetPanBase::moveKnobTo(QMouseEvent *event) {
    const int p = pan_trackKnobPosition(roundedPixel(event->position().x()), width());
    if (mKnob != nullptr) mKnob->move(p, 0);
    emit panMoved(p);
}
