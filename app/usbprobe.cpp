#include "app/usbprobe.h"

#include <QDir>
#include <QFile>

const unsigned kUsbProbeVendor = 0x7A31;
const unsigned kUsbProbeProduct = 0x5E02;

namespace {

QString sRootOverride;

// The id in a device folder's file; -1 when missing or not hex.
long readHexId(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return -1;
    bool ok = false;
    const long value = QString::fromLatin1(file.read(16)).trimmed().toLong(&ok, 16);
    return ok ? value : -1;
}

}  // namespace

QString usbProbe_systemRoot() {
    return sRootOverride.isEmpty() ? QStringLiteral("/sys/bus/usb/devices") : sRootOverride;
}

void usbProbe_setSystemRoot(const QString &root) { sRootOverride = root; }

QString usbProbe_find(const QString &root, unsigned vendor, unsigned product) {
    const QDir dir(root);
    const QStringList entries = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &entry : entries) {
        const QString device = dir.filePath(entry);
        if (readHexId(device + QStringLiteral("/idVendor")) == static_cast<long>(vendor) &&
            readHexId(device + QStringLiteral("/idProduct")) == static_cast<long>(product))
            return device;
    }
    return QString();
}
