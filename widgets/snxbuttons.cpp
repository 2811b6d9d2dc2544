#include "widgets/snxbuttons.h"

#include "widgets/stylesheet.h"

#include <QKeyEvent>

// A forwarded key stays accepted (as delivered), so it does not travel on to
// the parent widget either.

setPointButton::setPointButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/setpointbutton.qss"));
}

blackButton::blackButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/blackButton.qss"));
}

void blackButton::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }

blackComboBox::blackComboBox(QWidget *parent) : QComboBox(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/blackComboBox.qss"));
}

snxPlayButton::snxPlayButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxPlayButton.qss"));
}

void snxPlayButton::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }

snxStopButton::snxStopButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxStopButton.qss"));
}

void snxStopButton::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }

snxZeroPlayButton::snxZeroPlayButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxZeroPlayButton.qss"));
}

void snxZeroPlayButton::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }

snxRecButton::snxRecButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxRecButton.qss"));
}

whiteButton::whiteButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/whiteButton.qss"));
}

zoomInButton::zoomInButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/zoomInButton.qss"));
}

zoomOutButton::zoomOutButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/zoomOutButton.qss"));
}

snxMuteButton::snxMuteButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxMuteButton.qss"));
}

snxSoloButton::snxSoloButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxSoloButton.qss"));
}

snxRecArmButton::snxRecArmButton(QWidget *parent) : QPushButton(parent) {
    styleSheet_apply(this, QStringLiteral(":/resources2/qss/snxRecArmButton.qss"));
}

snxPushButton::snxPushButton(QWidget *parent) : QPushButton(parent) {}

void snxPushButton::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }

comboBoxMain::comboBoxMain(QWidget *parent) : QComboBox(parent) {}

void comboBoxMain::keyPressEvent(QKeyEvent *event) { emit keyPressed(event); }
