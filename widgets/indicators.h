// Picture labels that act as buttons: the lamps, the two-picture switch, the
// equaliser band's on/off button and the gain read-out.
//
// A lamp obeys a click control, so that one lamp can be a plain on/off
// switch or a button whose owner decides what a click means (the owner then
// changes the picture itself). Pictures are loaded from their resource path
// each time they are shown; a path that names nothing shows an empty label.
//
// GUI thread only.
#pragma once

#include <QLabel>
#include <QString>

class QKeyEvent;
class QMouseEvent;

// How a lamp answers a mouse press. The equaliser and oscillator lamps follow
// the same rules.
enum tIndicatorClickControl : int {
    kIndicatorIgnore = 0,  // the press is ignored (so is any value not below)
    kIndicatorToggle = 1,  // state flips, picture follows, state signal (1 on, 0 off)
    kIndicatorClick = 2,   // only the clicked signal; state and picture stay
};

// The monitor lamp. Its pictures are fixed.
class monindicator : public QLabel {
    Q_OBJECT
public:
    explicit monindicator(QWidget *parent = nullptr);

    void selectClickControl(tIndicatorClickControl control);
    // Sets the state and shows its picture, without a signal.
    void changeMonIndicator(bool on);

signals:
    void monOnOff(int on);
    void monIndicatorClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void showState();

    bool mOnOff = false;
    int mClickControl = kIndicatorToggle;
};

// The effect lamp of the mixer strips. A click only reports itself until the
// Control key is held (in the lamp, or forwarded by the window through
// contKeyPressed/contKeyReleased); then a click toggles the lamp.
class indicator : public QLabel {
    Q_OBJECT
public:
    explicit indicator(QWidget *parent = nullptr);

    void selectClickControl(tIndicatorClickControl control);
    // Sets the state and shows its picture, without a signal.
    void changeIndicator(bool on);
    // Replace the pictures; the shown one changes at the next toggle or
    // changeIndicator.
    void setOnIndicatorFilePath(const QString &path);
    void setOffIndicatorFilePath(const QString &path);

    void contKeyPressed();   // click control 1
    void contKeyReleased();  // click control 2

signals:
    void selOnOff(int on);
    void indicatorClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    void showState();

    bool mOnOff = false;
    int mClickControl = kIndicatorClick;
    QString mOnPicture;
    QString mOffPicture;
};

// A two-picture switch whose pictures the owner chooses. Every press flips it.
class labelSwitch : public QLabel {
    Q_OBJECT
public:
    explicit labelSwitch(QWidget *parent = nullptr);

    // Stores the two paths; shows nothing until the next press.
    void setSwitchPict(const QString &offPicture, const QString &onPicture);

signals:
    void switchClicked(bool on);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool mOnOff = false;
    QString mOffPicture;
    QString mOnPicture;
};

// The on/off button of an equaliser band: reports presses (always with 0),
// keeps no state; the equaliser window sets its picture.
class eqOnOffButton : public QLabel {
    Q_OBJECT
public:
    explicit eqOnOffButton(QWidget *parent = nullptr);

signals:
    void mousePressed(int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

// The region gain read-out. Single presses are swallowed; a double click is
// reported.
class labelGain : public QLabel {
    Q_OBJECT
public:
    explicit labelGain(QWidget *parent = nullptr);

    // Shows the linear gain in dB with one decimal, the number in red when
    // the gain is above unity.
    void setValueAndColor(double gain);

signals:
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// The rich text that labelGain shows for a linear gain.
QString labelGainText(double gain);
