#include "widgets/indicators.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <cmath>

namespace {

// The monitor pictures are not part of the bundle: the main window's monitor
// lamp shows no picture.
const char *const kMonitorOnPicture = ":/resources2/parts/monitor_button-on.png";
const char *const kMonitorOffPicture = ":/resources2/parts/monitor_button-off.png";
const char *const kEqOnPicture = ":/resources2/parts/EQ_button-on.png";
const char *const kEqOffPicture = ":/resources2/parts/EQ_button-off.png";

}  // namespace

// ---- monindicator ----

monindicator::monindicator(QWidget *parent) : QLabel(parent) {}

void monindicator::selectClickControl(tIndicatorClickControl control) { mClickControl = control; }

void monindicator::changeMonIndicator(bool on) {
    mOnOff = on;
    showState();
}

void monindicator::showState() {
    setPixmap(QPixmap(QString::fromLatin1(mOnOff ? kMonitorOnPicture : kMonitorOffPicture)));
}

void monindicator::mousePressEvent(QMouseEvent *) {
    if (mClickControl == kIndicatorToggle) {
        mOnOff = !mOnOff;
        showState();
        emit monOnOff(mOnOff ? 1 : 0);
    } else if (mClickControl == kIndicatorClick) {
        emit monIndicatorClicked();
    }
}

// ---- indicator ----

indicator::indicator(QWidget *parent)
    : QLabel(parent), mOnPicture(QString::fromLatin1(kEqOnPicture)), mOffPicture(QString::fromLatin1(kEqOffPicture)) {}

void indicator::selectClickControl(tIndicatorClickControl control) { mClickControl = control; }

void indicator::changeIndicator(bool on) {
    mOnOff = on;
    showState();
}

void indicator::setOnIndicatorFilePath(const QString &path) { mOnPicture = path; }

void indicator::setOffIndicatorFilePath(const QString &path) { mOffPicture = path; }

void indicator::contKeyPressed() { mClickControl = kIndicatorToggle; }

void indicator::contKeyReleased() { mClickControl = kIndicatorClick; }

void indicator::showState() { setPixmap(QPixmap(mOnOff ? mOnPicture : mOffPicture)); }

void indicator::mousePressEvent(QMouseEvent *) {
    if (mClickControl == kIndicatorToggle) {
        mOnOff = !mOnOff;
        showState();
        emit selOnOff(mOnOff ? 1 : 0);
    } else if (mClickControl == kIndicatorClick) {
        emit indicatorClicked();
    }
}

void indicator::keyPressEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Control) contKeyPressed();
}

void indicator::keyReleaseEvent(QKeyEvent *event) {
    if (event->key() == Qt::Key_Control) contKeyReleased();
}

// ---- labelSwitch ----

labelSwitch::labelSwitch(QWidget *parent) : QLabel(parent) {}

void labelSwitch::setSwitchPict(const QString &offPicture, const QString &onPicture) {
    mOffPicture = offPicture;
    mOnPicture = onPicture;
}

void labelSwitch::mousePressEvent(QMouseEvent *) {
    mOnOff = !mOnOff;
    setPixmap(QPixmap(mOnOff ? mOnPicture : mOffPicture));
    emit switchClicked(mOnOff);
}

// ---- eqOnOffButton ----

eqOnOffButton::eqOnOffButton(QWidget *parent) : QLabel(parent) {}

void eqOnOffButton::mousePressEvent(QMouseEvent *) { emit mousePressed(0); }

// ---- labelGain ----

QString labelGainText(double gain) {
    const double db = 20.0 * std::log10(gain);
    const QString number = QString::number(db, 'f', 1);
    // Only the sign is tested: a gain a hair above unity shows a red "0.0".
    if (db > 0.0) return QStringLiteral("<font color=#828282>Gain = <font color=red>") + number + QStringLiteral(" dB");
    return QStringLiteral("<font color=#828282>Gain = ") + number + QStringLiteral(" dB");
}

labelGain::labelGain(QWidget *parent) : QLabel(parent) {}

void labelGain::setValueAndColor(double gain) { setText(labelGainText(gain)); }

void labelGain::mousePressEvent(QMouseEvent *) {}

void labelGain::mouseDoubleClickEvent(QMouseEvent *) { emit doubleClicked(); }
