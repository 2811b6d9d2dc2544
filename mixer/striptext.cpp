#include "mixer/striptext.h"

#include <algorithm>
#include <cmath>

QString strip_levelText(float dB) {
    const float shown = std::clamp(dB, kStripLevelMinDb, kStripLevelMaxDb);
    const QString text = QString::number(static_cast<double>(shown), 'f', 1);
    return text == QLatin1String("-0.0") ? QStringLiteral("0.0") : text;
}

float strip_parseLevel(const QString &text) {
    bool ok = false;
    const float v = text.toFloat(&ok);
    if (!ok || std::isnan(v)) return kStripLevelUnreadableDb;
    return std::clamp(v, kStripLevelMinDb, kStripLevelMaxDb);
}

QString strip_panText(int pan) {
    const int p = std::clamp(pan, -kStripPanMax, kStripPanMax);
    if (p < 0) return QStringLiteral("L%1").arg(-p);
    if (p == 0) return QStringLiteral("C");
    return QStringLiteral("R%1").arg(p);
}

int strip_parsePan(const QString &text) {
    if (text.isEmpty()) return 0;
    const QChar first = text.at(0);
    int sign = 0;
    QString rest = text;
    if (first == QLatin1Char('+') || first == QLatin1Char('R') || first == QLatin1Char('r')) {
        sign = 1;
        rest.remove(0, 1);
    } else if (first == QLatin1Char('-') || first == QLatin1Char('L') || first == QLatin1Char('l')) {
        sign = -1;
        rest.remove(0, 1);
    } else if (first >= QLatin1Char('0') && first <= QLatin1Char('9')) {
        sign = 1;
    }
    bool ok = false;
    int v = rest.toInt(&ok, 10);
    if (!ok) v = 0;
    return std::clamp(v, -kStripPanMax, kStripPanMax) * sign;
}

int strip_panAtPosition(int x, int width) {
    const int travel = width - 16;
    if (travel <= 0) return 0;
    return x * 200 / travel - 100;
}

int strip_peakFreq(float hz) {
    if (std::isnan(hz)) return 0;
    const float held = std::clamp(hz, -1.0e9f, 1.0e9f);
    const int whole = static_cast<int>(held);
    return (whole + 5) / 10 * 10;
}

QStringList strip_pairItems(int channels, bool wholePairsOnly) {
    QStringList items;
    const int limit = wholePairsOnly ? channels - 1 : channels;
    for (int k = 0; k < limit; k += 2) items << QStringLiteral("Ch %1-%2").arg(k + 1).arg(k + 2);
    return items;
}

QString strip_channelPicture(int track) {
    if (track >= 0 && track <= 3) return QStringLiteral(":/resources2/parts/point_eq_%1-on.png").arg(track + 1);
    if (track >= 4 && track <= 31) return QStringLiteral(":resources2/parts/point_ch%1.png").arg(track + 1);
    return QStringLiteral(":/resources2/parts/point_BlueFlat_on.png");
}
