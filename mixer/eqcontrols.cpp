#include "mixer/eqcontrols.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStringList>
#include <cmath>

// ---- eqtypesw ----

eqtypesw::eqtypesw(QWidget *parent) : QLabel(parent) {}

eqtypesw::~eqtypesw() = default;

void eqtypesw::mousePressEvent(QMouseEvent *)
{
    emit selEqType(mType);
}

// ---- widgetEqParamText ----

QString eqParam_cutDecimals(const QString &text, int decimals)
{
    const QStringList parts = text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
    if (parts.size() < 2)
        return text;
    return parts[0] + QLatin1Char('.') + parts[1].left(decimals < 0 ? 0 : decimals);
}

QString eqParam_valueText(double value, int decimals)
{
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
    if (negative && (whole != 0.0 || fraction != 0.0))
        text.prepend(QLatin1Char('-'));
    return text;
}

widgetEqParamText::widgetEqParamText(QWidget *parent) : QLineEdit(parent) {}

widgetEqParamText::~widgetEqParamText() = default;

void widgetEqParamText::valueConfirmed()
{
    setText(eqParam_cutDecimals(text(), mDecimals));
    emit enterKeyPressed();
}

void widgetEqParamText::setValue(double value)
{
    setText(eqParam_valueText(value, mDecimals));
}

void widgetEqParamText::mousePressEvent(QMouseEvent *)
{
    selectAll();
}

void widgetEqParamText::keyPressEvent(QKeyEvent *event)
{
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
