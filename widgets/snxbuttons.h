// The push buttons and combo boxes that give the windows their look and their
// keyboard behaviour.
//
// Style-sheet classes read their own sheet from ":/resources2/qss/" when they
// are built; the sheet's selectors are the class names, so each class carries
// Q_OBJECT and keeps its name.
//
// Key-forwarding classes never handle a key themselves: every key press is
// re-emitted as keyPressed() for the main window's one key slot and goes no
// further (not to the base class, not to the parent). A focused transport or
// tool button therefore never clicks on Space or Return, and a focused device
// combo box never changes its selection from the keyboard. The event pointer
// is valid only during the emission.
#pragma once

#include <QComboBox>
#include <QPushButton>

class QKeyEvent;

// Set in and set out of the main window.
class setPointButton : public QPushButton {
    Q_OBJECT
public:
    explicit setPointButton(QWidget *parent = nullptr);
};

// Small dark button ("Select Folder"); forwards keys.
class blackButton : public QPushButton {
    Q_OBJECT
public:
    explicit blackButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// Dark combo box of the export and recording set-up windows.
class blackComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit blackComboBox(QWidget *parent = nullptr);
};

// Transport: play (checkable), forwards keys.
class snxPlayButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxPlayButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// Transport: stop, forwards keys.
class snxStopButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxStopButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// Transport: back to the start, forwards keys.
class snxZeroPlayButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxZeroPlayButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// Transport: record (checkable).
class snxRecButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxRecButton(QWidget *parent = nullptr);
};

// Light button ("Control Panel").
class whiteButton : public QPushButton {
    Q_OBJECT
public:
    explicit whiteButton(QWidget *parent = nullptr);
};

// Zoom keys of the track views and the timeline.
class zoomInButton : public QPushButton {
    Q_OBJECT
public:
    explicit zoomInButton(QWidget *parent = nullptr);
};

class zoomOutButton : public QPushButton {
    Q_OBJECT
public:
    explicit zoomOutButton(QWidget *parent = nullptr);
};

// Mixer strip buttons (checkable).
class snxMuteButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxMuteButton(QWidget *parent = nullptr);
};

// The solo button declares keyPressed but handles its keys as a plain push
// button: the signal is never emitted.
class snxSoloButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxSoloButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);
};

class snxRecArmButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxRecArmButton(QWidget *parent = nullptr);
};

// The main window's tool-window buttons: no sheet of their own (the
// application's sheet styles them), forwards keys.
class snxPushButton : public QPushButton {
    Q_OBJECT
public:
    explicit snxPushButton(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The main window's output and recording device lists: no sheet of their
// own, forwards keys (only the mouse changes the selection).
class comboBoxMain : public QComboBox {
    Q_OBJECT
public:
    explicit comboBoxMain(QWidget *parent = nullptr);
signals:
    void keyPressed(QKeyEvent *event);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
