#include "mixer/eqcontrols.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QStringList>
#include <cmath>

namespace {

const char *const kEqOnPicture = ":/resources2/parts/EQ_button-on.png";
const char *const kEqOffPicture = ":/resources2/parts/EQ_button-off.png";

}  // namespace

// ---- eqtypesw ----

eqtypesw::eqtypesw(QWidget *parent) : QLabel(parent) {}

eqtypesw::~eqtypesw() = default;

void eqtypesw::mousePressEvent(QMouseEvent *) { emit selEqType(mType); }

// ---- eqIndicator ----

eqIndicator::eqIndicator(QWidget *parent) : QLabel(parent) {}

eqIndicator::~eqIndicator() = default;

void eqIndicator::selectClickControl(tIndicatorClickControl control) { mClickControl = control; }

void eqIndicator::changeEqIndicator(bool on) {
    mOnOff = on;
    showState();
}

void eqIndicator::showState() { setPixmap(QPixmap(QString::fromLatin1(mOnOff ? kEqOnPicture : kEqOffPicture))); }

void eqIndicator::mousePressEvent(QMouseEvent *) {
    if (mClickControl == kIndicatorToggle) {
        mOnOff = !mOnOff;
        showState();
        emit selEqOnOff(mOnOff ? 1 : 0);
    } else if (mClickControl == kIndicatorClick) {
        emit eqIndicatorClicked();
    }
}

// ---- widgetEqParamText ----

QString eqParam_cutDecimals(const QString &text, int decimals) {
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() < 2) return text;
    return parts[0] + QLatin1Char('.') + parts[1].left(decimals < 0 ? 0 : decimals);
}

QString eqParam_valueText(double value, int decimals) {
    const bool negative = value < 0.0;
    const double magnitude = std::fabs(value);
    if (decimals <= 0) {
        const double whole = std::trunc(magnitude + 0.5);
        const QString text = QString::number(whole, 'f', 0);
        return (negative && whole != 0.0) ? QLatin1Char('-') + text : text;
    }
    const double scale = std::pow(10.0, decimals);
    const double w = magnitude + 0.5 / scale;
    const double whole = std::trunc(w);
    const double fraction = std::fabs(std::fmod(std::trunc(w * scale), std::trunc(scale)));
    QString text = QString::number(whole, 'f', 0) + QLatin1Char('.') +
                   QString::number(fraction, 'f', 0).rightJustified(decimals, QLatin1Char('0'));
    if (negative && (whole != 0.0 || fraction != 0.0)) text.prepend(QLatin1Char('-'));
    return text;
}

widgetEqParamText::widgetEqParamText(QWidget *parent) : QLineEdit(parent) {}

widgetEqParamText::~widgetEqParamText() = default;

void widgetEqParamText::valueConfirmed() {
    setText(eqParam_cutDecimals(text(), mDecimals));
    emit enterKeyPressed();
}

void widgetEqParamText::setValue(double value) { setText(eqParam_valueText(value, mDecimals)); }

void widgetEqParamText::mousePressEvent(QMouseEvent *) { selectAll(); }

void widgetEqParamText::keyPressEvent(QKeyEvent *event) {
    const int key = event->key();
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Minus || key == Qt::Key_Period) {
        insert(QString(QChar(key)));
    } else if (key == Qt::Key_Backspace) {
        backspace();
    } else if (key == Qt::Key_Delete) {
        del();
    } else if (key == Qt::Key_Left) {
        cursorBackward(false);
    } else if (key == Qt::Key_Right) {
        cursorForward(false);
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        clearFocus();
        valueConfirmed();
    }
    event->accept();
}
