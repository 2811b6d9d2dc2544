// Looks for a USB device by vendor and product id in the system's USB
// device list (one folder per device, each with idVendor and idProduct as
// four hex digits).
#pragma once

#include <QString>

extern const unsigned kUsbProbeVendor;   // 0x7A31, the maker's audio interface
extern const unsigned kUsbProbeProduct;  // 0x5E02

// The device list's folder: /sys/bus/usb/devices unless a test set another.
QString usbProbe_systemRoot();
void usbProbe_setSystemRoot(const QString &root);

// The first device folder under root (in name order) whose ids match;
// empty when none does or the list cannot be read.
QString usbProbe_find(const QString &root, unsigned vendor, unsigned product);
