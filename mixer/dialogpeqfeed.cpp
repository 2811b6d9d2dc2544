// The equaliser window's spectrum feed, its spectrogram and Lissajous
// buttons, its show and close events and its rate changes.
#include <QCloseEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "engine/enginestate.h"
#include "mixer/dialogpeq.h"
#include "mixer/widgeteq.h"
#include "ui_dialogpeq.h"

namespace {

constexpr int kDsdRateMin = 2822400;

}  // namespace

int peq_spectrogramRate(int sampleRate, int meterFirInterval) {
    if (sampleRate < kDsdRateMin) return sampleRate;
    return sampleRate / std::max(1, meterFirInterval);
}

void DialogPeq::setUpSpectrumFeed() {
    // Built now but shown only from the Spectrum button; it is fed while
    // this window is shown, so its history is there when it opens.
    mSpectrogram = std::make_unique<DialogSpectrogram>();
    // The cycle runs for the window's life and does its work only while
    // the window is shown: one flag test for each window that is not.
    mCycleTimer = new QTimer(this);
    connect(mCycleTimer, &QTimer::timeout, this, &DialogPeq::dialogEqCycle);
    mCycleTimer->start(kPeqCycleMs);
}

void DialogPeq::dialogEqCycle() {
    if (!mShown || !mFftL || !mFftR) return;
    ui->widgetEQ->setFftParams(mFftL, mFftR, mFftOrder, mSampleRate);
    // The graph places DSD bins itself; the spectrogram is told the rate
    // the engine analysed at.
    const int rate = peq_spectrogramRate(mSampleRate, engine().meterFirInterval.load(std::memory_order_relaxed));
    const bool right = mSpectrumCh == 1;
    const int side = right ? kPeqFrameRight : 0;
    mSpectrogram->setSpectrumData(side, right ? mFftR : mFftL, mFftOrder, rate);
    if (mFftLowL && mFftLowR)
        mSpectrogram->setSpectrumData(kPeqFrameLow | side, right ? mFftLowR : mFftLowL, mFftOrder, rate);
}

void DialogPeq::setFFTPointer(int set, double *left, double *right, int fftSize) {
    if (set == 1) {
        mFftLowL = left;
        mFftLowR = right;
        return;
    }
    mFftL = left;
    mFftR = right;
    mFftOrder = fftSize;
}

void DialogPeq::setFFTOrder(int fftSize) { mFftOrder = fftSize; }

void DialogPeq::changeFs(int rate) {
    // Stored first: the graph's moves come back through the band path,
    // which recomputes the moved band at the new rate.
    mSampleRate = rate;
    ui->widgetEQ->setSampleRate(rate);
}

void DialogPeq::selectEqHfMode(bool hf) { ui->widgetEQ->setHfMode(hf); }

void DialogPeq::showEvent(QShowEvent *event) {
    mShown = true;
    QDialog::showEvent(event);
}

void DialogPeq::closeEvent(QCloseEvent *event) {
    mShown = false;
    emit windowClosed(mTrackId, event);
    QDialog::closeEvent(event);
}

void DialogPeq::on_pushButtonSpectrum_clicked() { mSpectrogram->show(); }

void DialogPeq::on_pushButtonLissajous_clicked() { emit lissajousButtonClicked(0); }

void DialogPeq::on_comboBoxSpCh_currentIndexChanged(int index) { mSpectrumCh = index; }

void DialogPeq::on_comboBoxSpMode_currentIndexChanged(int index) {
    mSpectrogram->setSpectrumMode(index == 1 ? kSpectrogramLinear : kSpectrogramLog);
}
