#include "app/transportlogic.h"

#include <QtGlobal>

#include <algorithm>

bool transport_isNormalEnd(int code) { return code >= 0 || code == -30 || code == -254 || code == -255; }

const char *transport_failureText(int code) {
    switch (code) {
    case -4:
    case -5:
    case -11:
    case -12:
    case -15:
    case -19:
    case -22:
    case -36:
    case -122: return QT_TRANSLATE_NOOP("MainWindow", "Insufficient memory.");
    case -38:
        return QT_TRANSLATE_NOOP("MainWindow",
                                 "Write file failed.\nIt seems that no disk space left.\nPlease free up disk space.");
    case -7:
    case -8:
    case -9:
    case -33:
    case -34:
    case -35: return QT_TRANSLATE_NOOP("MainWindow", "Unsupported audio file.");
    case -16:
    case -17:
    case -18:
    case -20:
    case -21:
    case -23:
    case -24:
    case -25:
    case -27:
    case -32: return QT_TRANSLATE_NOOP("MainWindow", "Convert format failed.");
    case -28:
    case -29: return QT_TRANSLATE_NOOP("MainWindow", "Write file failed.");
    case -3:
    case -26: return QT_TRANSLATE_NOOP("MainWindow", "Export failed.");
    case -13:
    case -14: return QT_TRANSLATE_NOOP("MainWindow", "Read file failed.");
    case -10: return QT_TRANSLATE_NOOP("MainWindow", "Create file failid.");
    case -2: return QT_TRANSLATE_NOOP("MainWindow", "File not opened.");
    case -1: return QT_TRANSLATE_NOOP("MainWindow", "Open file failed.");
    default: return QT_TRANSLATE_NOOP("MainWindow", "Unexpected failure.");
    }
}

tTimeInfo transport_timeInfo(int64_t cursor, int rate) {
    tTimeInfo t;
    if (rate <= 0 || cursor < 0) return t;
    t.minutes = uint8_t(cursor / (int64_t(rate) * 60));
    t.seconds = uint8_t((cursor / rate) % 60);
    t.hundredths = uint8_t((cursor * 100 / rate) % 100);
    return t;
}

uint64_t transport_trackEnd(const tAudioFileInfo &info, double delayMs) {
    const double end = double(info.totalSamples) + double(info.sampleRate) * delayMs / 1000.0;
    return end <= 0.0 ? 0 : uint64_t(end);
}

tTransportMaterial transport_material(const tAudioFileInfo *info, const tMixParam &mix, int tracks) {
    tTransportMaterial m;
    tracks = std::clamp(tracks, 0, int(kMaxTracks));
    for (int t = 0; t < tracks; ++t) {
        const uint64_t end = transport_trackEnd(info[t], mix.ch[t].delayMs);
        if (end > m.length) {
            m.length = end;
            m.longestTrack = t;
        }
    }
    return m;
}

bool transport_zeroPlayTooSoon(uint32_t tick, uint32_t lastTick) {
    return uint32_t((tick - lastTick) * uint32_t(kTransportTickMs)) < uint32_t(kTransportZeroPlayDebounceMs);
}

int transport_ringLength(int bufferFrames, int playFs) {
    if (playFs <= 0) return 1;
    const float ticks = float(bufferFrames) * 1000.0f / (float(playFs) * float(kTransportTickMs)) + 1.0f;
    return std::clamp(int(ticks), 1, 66);
}
