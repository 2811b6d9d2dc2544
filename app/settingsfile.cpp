#include "app/settingsfile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace {

tEditorDefaults initMainWindowGlobals() {
    tEditorDefaults d;
    const double freq[kSettingsEqBands] = {100.0, 1000.0, 2000.0, 5000.0};
    for (int i = 0; i < kSettingsEqBands; ++i) d.eqBand[i] = tEditorEqBand{false, freq[i], 0.9, 0.0, 0};
    for (tDopDevItem &row : d.dopRows) row = tDopDevItem{QStringLiteral("None"), false};
    return d;
}

struct tKeyInfo {
    const char *text;
    int valueLines;
};

const tKeyInfo kKeys[kSettingsKeyCount] = {
    {"//Monitor Volume", 1},
    {"//Audio Driver", 1},
    {"//Audio Device", 1},
    {"//Play Freq", 1},
    {"//EQ1", 5},
    {"//EQ2", 5},
    {"//EQ3", 5},
    {"//EQ4", 5},
    {"//EQALL", 2},
    {"//Post Fader", 1},
    {"//NeverShowFirstInfo", 1},
    {"//BounceFormat", 1},
    {"//BounceFreq", 1},
    {"//BounceBit", 1},
    {"//ApplyShortFade", 1},
    {"//OverHoldTime", 1},
    {"//OscillatorMode", 1},
    {"//DopDevList", 2 * kSettingsDopRows},
};

}  // namespace

const tEditorDefaults gEditorDefaults = initMainWindowGlobals();

QString settings_keyText(tSettingsKey key) {
    if (key < 0 || key >= kSettingsKeyCount) return QString();
    return QString::fromLatin1(kKeys[key].text);
}

int settings_valueLineCount(tSettingsKey key) {
    if (key < 0 || key >= kSettingsKeyCount) return 0;
    return kKeys[key].valueLines;
}

tSettingsKey settings_keyOfLine(const QString &line) {
    for (int k = 0; k < kSettingsKeyCount; ++k) {
        if (k == kKeyOscillatorMode) continue;
        if (line.startsWith(QLatin1String(kKeys[k].text))) return static_cast<tSettingsKey>(k);
    }
    return kKeyNone;
}

double settings_readReal(const QString &line) {
    bool ok = false;
    const double v = line.trimmed().toDouble(&ok);
    return ok ? v : 0.0;
}

int settings_readInt(const QString &line) {
    bool ok = false;
    const int v = line.trimmed().toInt(&ok, 10);
    return ok ? v : 0;
}

bool settings_readBool(const QString &line) { return line.startsWith(QLatin1String("true")); }

QString settings_readText(const QString &line) { return line.simplified(); }

QString settings_realText(double value) { return QString::number(value, 'g', 6); }

QString settings_boolText(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

QString settings_driverText(int driverType) {
    if (driverType == kDriverCoreAudio) return QStringLiteral("CoreAudio");
    if (driverType == kDriverWasapi) return QStringLiteral("WASAPI");
    return QStringLiteral("ASIO");
}

int settings_driverFromText(const QString &line) {
    if (line.startsWith(QLatin1String("Core"))) return kDriverCoreAudio;
    if (line.startsWith(QLatin1String("WASA"))) return kDriverWasapi;
    return kDriverAsio;
}

QVector<tSettingsSection> settings_parse(const QByteArray &file) {
    // Lines keep their line feed, as the reader sees them; a line read past
    // the end is empty.
    QVector<QString> lines;
    qsizetype pos = 0;
    while (pos < file.size()) {
        qsizetype end = file.indexOf('\n', pos);
        end = end < 0 ? file.size() : end + 1;
        lines.append(QString::fromUtf8(file.constData() + pos, end - pos));
        pos = end;
    }

    QVector<tSettingsSection> sections;
    int i = 0;
    while (i < lines.size()) {
        const QString &line = lines[i++];
        if (line.isEmpty()) continue;
        const tSettingsKey key = settings_keyOfLine(line);
        if (key == kKeyNone) continue;
        tSettingsSection section;
        section.key = key;
        for (int v = 0; v < kKeys[key].valueLines; ++v)
            section.values.append(i < lines.size() ? lines[i++] : QString());
        sections.append(section);
    }
    return sections;
}

QByteArray settings_compose(const tSettingsValues &values) {
    QString out;
    // A line feed inside a value (a device name, say) would shift every
    // later section; the reader folds white space anyway.
    auto line = [&out](QString text) {
        text.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
        out += text;
        out += QLatin1Char('\n');
    };
    auto key = [&line](tSettingsKey k) { line(settings_keyText(k)); };

    key(kKeyMonitorVolume);
    line(settings_realText(values.monitorVolumeDb));
    key(kKeyAudioDriver);
    line(settings_driverText(values.driverType));
    key(kKeyAudioDevice);
    line(values.deviceText);
    key(kKeyPlayFreq);
    line(values.playRateText);
    for (int b = 0; b < kSettingsEqBands; ++b) {
        const tEditorEqBand &band = values.eq[b];
        key(static_cast<tSettingsKey>(kKeyEq1 + b));
        line(settings_boolText(band.on));
        line(settings_realText(band.frequency));
        line(settings_realText(band.q));
        line(settings_realText(band.gainDb));
        line(QString::number(band.type));
    }
    key(kKeyEqAll);
    line(settings_boolText(values.eqAllOn));
    line(settings_realText(values.eqTotalGainDb));
    key(kKeyPostFader);
    line(settings_boolText(values.postFader));
    key(kKeyNeverShowFirstInfo);
    line(settings_boolText(values.neverShowFirstInfo));
    key(kKeyBounceFormat);
    line(QString::number(values.bounceFormat));
    key(kKeyBounceFreq);
    line(QString::number(values.bounceFreq));
    key(kKeyBounceBit);
    line(QString::number(values.bounceBit));
    key(kKeyApplyShortFade);
    line(settings_boolText(values.applyShortFade));
    key(kKeyOverHoldTime);
    line(values.overHolds2sec ? QStringLiteral("2000") : QStringLiteral("-1"));
    key(kKeyOscillatorMode);
    line(settings_boolText(values.oscillatorMode));
    key(kKeyDopDevList);
    for (const tDopDevItem &row : values.dopRows) {
        line(row.name);
        line(settings_boolText(row.dop));
    }
    return out.toUtf8();
}

QString settings_composePath(const QString &dataLocation, const QString &exeBaseName) {
    QString folder = dataLocation;
    if (!exeBaseName.isEmpty()) folder.replace(exeBaseName, QStringLiteral("KAVELO/"), Qt::CaseSensitive);
    return folder + QStringLiteral("sonvexEditor.txt");
}

bool settings_writeFile(const QString &path, const QByteArray &bytes) {
    // QSaveFile writes a temporary file in the same folder and renames it
    // over the target only on commit; until then the old file stays whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // A short write (a full disk) can pass unnoticed through the buffer, so
    // the size of what reached the new file is checked before it replaces
    // the old one.
    const bool whole = file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError &&
                       file.size() == bytes.size();
    if (!whole) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}
