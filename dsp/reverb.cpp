#include "dsp/reverb.h"

const tEarlyReflectionRow gDefaultEarlyReflections[kReverbEarlyReflections] = {
    // level, order, cutOff, reserved, flag, factors
    {0.67f, 10500.0f, 91.0f, {0, 0, 0}, 1, {1.0f, 1.0f}},  {0.24f, 6204.0f, 91.0f, {0, 0, 0}, 1, {0.7f, 0.7f}},
    {0.24f, 6204.0f, 93.0f, {0, 0, 0}, 0, {0.7f, 0.7f}},   {0.2f, 2939.0f, 71.0f, {0, 0, 0}, 0, {0.95f, 0.95f}},
    {0.2f, 2939.0f, 111.0f, {0, 0, 0}, 1, {0.95f, 0.95f}}, {0.1f, 1959.0f, 111.0f, {0, 0, 0}, 0, {0.95f, 0.95f}},
    {0.1f, 2000.0f, 111.0f, {0, 0, 0}, 1, {0.7f, 0.7f}},   {0.12f, 1306.0f, 111.0f, {0, 0, 0}, 0, {0.7f, 0.7f}},
    {0.1f, 2612.0f, 91.0f, {0, 0, 0}, 0, {0.6f, 0.6f}},    {0.1f, 2605.0f, 111.0f, {0, 0, 0}, 1, {0.6f, 0.6f}},
};

const tCombFilterRow gDefaultCombFilters[kReverbCombFilters] = {
    // delay, factors, reserved, pick-up, reserved
    {5724, {0.8714f, 0.16f}, {0, 0, 0, 0}, 5724, {0, 0}}, {5139, {0.8828f, 0.16f}, {0, 0, 0, 0}, 5139, {0, 0}},
    {4910, {0.8914f, 0.16f}, {0, 0, 0, 0}, 4910, {0, 0}}, {4129, {0.9011f, 0.16f}, {0, 0, 0, 0}, 4129, {0, 0}},
    {3625, {0.9101f, 0.16f}, {0, 0, 0, 0}, 3625, {0, 0}}, {2824, {0.9192f, 0.16f}, {0, 0, 0, 0}, 2824, {0, 0}},
};

const tAllPassRow gDefaultAllPassFilters[kReverbAllPassFilters] = {
    {857, 875, {0.7f, -0.7f}, 1.0f, {0, 0, 0, 0, 0, 0, 0}},
    {1044, 1058, {0.7f, -0.7f}, 1.0f, {0, 0, 0, 0, 0, 0, 0}},
};

reverb::reverb() : mFilterParams{gDefaultEarlyReflections, gDefaultCombFilters, gDefaultAllPassFilters} {}

void reverb::setReverbParam(tReverbParam *) {}
void reverb::setFxSampleRate(int, int) {}
void reverb::calcTransferFunction() {}
void reverb::prepareTransferFunction(float, tEnumRefType) {}
void reverb::process(double *, const double *, long) {}
void reverb::calcCombFilter() {}
void reverb::calcAPF() {}
void reverb::calcFirParam() {}
void reverb::setInputBufferSize(int) {}
void reverb::setInputBufferStartPoint(int) {}
void reverb::calcTotalFirPointTable() {}
void reverb::clearReverbBuffer() {}
void reverb::setFilter(tRevFilterType, bool) {}
