// DialogSpectrogram: the top-level window around one widgetSpectrogram.
// Each equaliser window owns one, feeds it on its spectrum cycle (also while
// it is hidden) and chooses its layout from its mode combo.
//
// GUI thread only.
#pragma once

#include <QDialog>

#include "mixer/widgetspectrogram.h"

namespace Ui {
class DialogSpectrogram;
}

class DialogSpectrogram : public QDialog {
    Q_OBJECT
public:
    explicit DialogSpectrogram(QWidget *parent = nullptr);
    ~DialogSpectrogram() override;

    // Hands one frame to the spectrogram (widgetSpectrogram::setSpectrumData).
    void setSpectrumData(int flag, const double *data, int n, int rate);
    void setSpectrumMode(tSpectrogramMode mode);

    widgetSpectrogram *spectrogram() const;

private:
    Ui::DialogSpectrogram *ui;
};
