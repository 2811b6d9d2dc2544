#include "dsp/dampingfilter.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kSqrt2 = 1.41421356237309504880;
}  // namespace

dampingFilter::dampingFilter()
    : mRate(48000),
      mCutOff(0.0),
      mB0(1.0),
      mB1(0.0),
      mB2(0.0),
      mA1(0.0),
      mA2(0.0),
      mX1{0.0, 0.0},
      mX2{0.0, 0.0},
      mY1{0.0, 0.0},
      mY2{0.0, 0.0} {}

void dampingFilter::calcDumpParams(int damping) {
    if (mRate <= 0) return;
    // The cut-off is worked out in single precision; the controls only ever
    // move it in steps far coarser than float resolution.
    const float exponent = (100.0f - static_cast<float>(std::min(damping, 100))) / 25.0f + 1.0f;
    double fc = static_cast<double>(std::pow(10.0f, exponent));
    const double limit = 0.45 * mRate;
    if (!(fc <= limit)) fc = limit;  // also catches an infinite power
    mCutOff = fc;

    const double k = std::tan(kPi * fc / mRate);
    const double k2 = k * k;
    const double n = 1.0 + kSqrt2 * k + k2;
    mB0 = k2 / n;
    mB1 = 2.0 * k2 / n;
    mB2 = k2 / n;
    mA1 = (2.0 * k2 - 2.0) / n;
    mA2 = (1.0 - kSqrt2 * k + k2) / n;
}

void dampingFilter::procDamp(const double *in, double *out, long frames) {
    if (in == nullptr || out == nullptr || frames <= 0) return;
    const double b0 = mB0, b1 = mB1, b2 = mB2, a1 = mA1, a2 = mA2;
    for (int c = 0; c < 2; ++c) {
        double x1 = mX1[c], x2 = mX2[c], y1 = mY1[c], y2 = mY2[c];
        for (long i = 0; i < frames; ++i) {
            const double x = in[2 * i + c];
            const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x;
            y2 = y1;
            y1 = y;
            out[2 * i + c] = y;
        }
        mX1[c] = x1;
        mX2[c] = x2;
        mY1[c] = y1;
        mY2[c] = y2;
    }
}
