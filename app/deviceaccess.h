// What the main window asks of the audio device layer: the output and input
// device names, a device's nominal rates and channels, the frames per
// device buffer, selecting the devices for the stream, and restarting the
// stream at a rate. Held as settable functions so that the window runs (and
// is tested) with devices presented under chosen names; the constructor
// binds them to the device layer of its control thread
// (mainDevices_forLayer), and a test may replace any of them. An unset
// function answers "no device".
//
// Devices are 0-based positions in the device layer's output and input
// lists (-1: none). GUI thread only.
#pragma once

#include <QStringList>
#include <QVector>

#include <functional>

class CContCoreAudioThread;

struct tMainDeviceAccess {
    // Enumerates again; the output and the input devices in list order.
    std::function<void(QStringList *outputs, QStringList *inputs)> enumerate;
    // The nominal rates output device `device` reports, in its order.
    std::function<QVector<int>(int device)> rates;
    // Frames per device buffer.
    std::function<int()> bufferFrames;
    // Selects output device `play` and input device `rec` (-1 none).
    std::function<void(int play, int rec)> select;
    // Channels of a device in one direction; 0 when unknown.
    std::function<int(int device, bool input)> channels;
    // Stops the device stream, puts output device `play` (and input device
    // `rec` when it is not -1) on `rate` and starts the stream again. Returns
    // once the control thread has done so (true) or a bounded wait has run
    // out, or there is no such device (false).
    std::function<bool(int play, int rec, int rate)> restartAt;
    // True when output device `device` is hardware whose clock needs time
    // to settle after it has been booted; a virtual device does not.
    std::function<bool(int device)> settles;
};

// The access bound to the device layer that `control` owns. `control` must
// outlive every call.
tMainDeviceAccess mainDevices_forLayer(CContCoreAudioThread *control);
