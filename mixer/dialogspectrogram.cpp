#include "mixer/dialogspectrogram.h"

#include "ui_dialogspectrogram.h"

DialogSpectrogram::DialogSpectrogram(QWidget *parent) : QDialog(parent), ui(new Ui::DialogSpectrogram) {
    ui->setupUi(this);
}

DialogSpectrogram::~DialogSpectrogram() { delete ui; }

void DialogSpectrogram::setSpectrumData(int flag, const double *data, int n, int rate) {
    ui->widgetSpGraph->setSpectrumData(flag, data, n, rate);
}

void DialogSpectrogram::setSpectrumMode(tSpectrogramMode mode) { ui->widgetSpGraph->setSpectrumMode(mode); }

widgetSpectrogram *DialogSpectrogram::spectrogram() const { return ui->widgetSpGraph; }
