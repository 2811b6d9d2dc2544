// What the main window asks of the audio device layer: the output and input
// device names, a device's nominal rates, the frames per device buffer, and
// selecting the devices for the stream. Held as settable functions so that
// the window runs (and is tested) with devices presented under chosen names;
// the device layer fills them in when it is part of the program. Until then
// every query answers "no device".
//
// GUI thread only.
#pragma once

#include <QStringList>
#include <QVector>

#include <functional>

struct tMainDeviceAccess {
    // Enumerates again; the output and the input devices in list order.
    std::function<void(QStringList *outputs, QStringList *inputs)> enumerate;
    // The nominal rates output device `device` (0-based) reports, in its order.
    std::function<QVector<int>(int device)> rates;
    // Frames per device buffer.
    std::function<int()> bufferFrames;
    // Selects output device `play` and input device `rec` (0-based; -1 none).
    std::function<void(int play, int rec)> select;
};
