// The question whether a DSD file is played as PCM at a sixteenth of its
// rate or as DSD, asked while the output device has not been classified. The
// dialog decides nothing: it reports the button pressed, and the receiver
// hides it. The owner shows it with show(): it is application-modal, yet the
// code that shows it goes on at once.
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace Ui {
class DialogSelectFs;
}

class DialogSelectFs : public QDialog {
    Q_OBJECT
public:
    explicit DialogSelectFs(QWidget *parent = nullptr);
    ~DialogSelectFs() override;

    void setPCMButtonText(const QString &text);
    void setDSDButtonText(const QString &text);

signals:
    void diagSelFsPCMpushed();
    void diagSelFsDSDpushed();

private slots:
    void on_pushButtonPCM_clicked();
    void on_pushButtonDSD_clicked();

private:
    Ui::DialogSelectFs *ui;
};

// The button texts for a DSD playing rate in Hz: "176.4kHz(PCM)" (the PCM
// rate, rate / 16 in integers, in kHz) and "2.8MHz(DSD)" (the DSD rate in
// MHz), one decimal each, rounded.
QString selectFsPcmButtonText(int dsdRateHz);
QString selectFsDsdButtonText(int dsdRateHz);
// Where the dialog goes over the main window: horizontally centred, its top
// a third of the way down; integer divisions.
QPoint selectFsPosition(const QRect &mainWindow, const QSize &dialog);
