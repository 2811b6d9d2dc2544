#include "app/monitorvolume.h"

tMonitorVolume monitorVolume_fromLevel(int dB) {
    tMonitorVolume v;
    if (dB < -99) {
        v.db = kMonitorVolumeSilent;
        v.label = QStringLiteral("-inf");
    } else {
        v.db = dB;
        v.label = QString::number(dB);
    }
    v.label += QStringLiteral(" dB");
    return v;
}

bool monitorVolume_dsdPure(const tPEQ *master, double volumeDb, int playFs, int fileRate, int trackCount) {
    bool eqInPath = false;
    if (master && master->allOn && *master->allOn) {
        for (int b = 0; b < kEqBands; ++b) eqInPath = eqInPath || master->band[b].mBandOn;
    }
    return !eqInPath && volumeDb == 0.0 && playFs == fileRate && trackCount < 2;
}
