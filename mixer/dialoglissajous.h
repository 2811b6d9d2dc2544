// DialogLissajous: a square window with the phase scope of the master
// output, a read-out of the phase between the channels averaged over the
// last 16 blocks, and the choice of how many blocks the scope draws.
//
// The owner feeds it on its display timer: setLissajous with the newest
// stretch of the engine's Lissajous ring, then redrawLissajous. The scope's
// memory (about 50 MB) is taken when the window is first shown.
//
// GUI thread only.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QString>

namespace Ui {
class DialogLissajous;
}

class QResizeEvent;
class QShowEvent;

enum : int { kLissajousPhaseHistory = 16 };

// The read-out for a mean phase in degrees: "θ = " then the mean cut (not
// rounded) to one decimal, with "-" for every negative mean (−3.75 → "θ =
// -3.7", −0.5 → "θ = -0.5").
QString lissajous_readoutText(double meanDegrees);

// Where the overlay controls go in a window of w × h (truncated fractions of
// the size), each keeping its own size.
struct tLissajousOverlay {
    QPoint labelL;
    QPoint labelR;
    QPoint labelPhase;
    QPoint labelLayer;
    QPoint comboLayer;
};
tLissajousOverlay lissajous_overlayPositions(int w, int h);

class DialogLissajous : public QDialog {
    Q_OBJECT
public:
    explicit DialogLissajous(QWidget *parent = nullptr);
    ~DialogLissajous() override;

    // Hands the scope `count` frames of the ring `frames` (pairs of doubles,
    // left then right) of `length` frames, from frame `start`.
    void setLissajous(const double *frames, int count, int length, int start);
    // Repaints the scope, which refreshes its phase, and shows the mean of
    // the last 16 phases.
    void redrawLissajous();
    double getAngle() const { return mAngle; }
    // Repaints the scope and shows its phase in whole degrees; the
    // arguments are not used.
    void drawLissajous(const double *frames, int count);

protected:
    // Keeps the window square: a width that differs from the height makes
    // the window w × w, and the overlay follows.
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private slots:
    void on_comboBoxLayer_currentIndexChanged(int index);

private:
    Ui::DialogLissajous *ui;
    double mAngle = 0.0;
    double mPhaseHistory[kLissajousPhaseHistory] = {};
    int mHistoryIndex = 0;
};
