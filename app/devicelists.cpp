#include "app/devicelists.h"

#include <QCoreApplication>

QString deviceLists_placeholder(int outputCount) {
    return outputCount > 0 ? QCoreApplication::translate("MainWindow", "(Select Device...)")
                           : QCoreApplication::translate("MainWindow", "(No Device)");
}

int deviceLists_initialSelection(int entries) { return entries == 2 ? 1 : 0; }

bool deviceLists_sameOutputs(const QStringList &kept, const QStringList &now) { return kept == now; }

int deviceLists_findEntry(const QStringList &entries, const QString &text) {
    const int i = int(entries.indexOf(text));
    return i < 0 ? 0 : i;
}

// ---- DoP device table ---------------------------------------------------

const tDopDevItem gDopDevList[kDopDevListRows] = {
    {QStringLiteral("KV-P1 (Bit Accurate)"), false},
    {QStringLiteral("KV-P1 (Core Audio)"), false},
    {QStringLiteral("KV-P2 (Bit Accurate)"), false},
    {QStringLiteral("KV-P2 (Core Audio)"), false},
    {QStringLiteral("KV-P3"), false},
    {QStringLiteral("KV-P4"), false},
    {QStringLiteral("ZOLT USB HS ASYNC AUDIO DEVICE"), false},
    {QStringLiteral("ZOLT USB AUDIO DEVICE"), true},
    {QStringLiteral("KV-P5"), true},
    {QStringLiteral("VANTEROS USB AUDIO DEVICE"), true},
    {QStringLiteral("KV-P6"), false},
    {QStringLiteral("KV-P7"), false},
    {QStringLiteral("KV-P8"), false},
    {QStringLiteral("KV-P9"), false},
    {QStringLiteral("KV-P10"), false},
    {QStringLiteral("ZOOM UAC-2"), false},
    {QStringLiteral("ZOOM UAC-8"), false},
    {QStringLiteral("ZOOM TAC-2"), false},
    {QStringLiteral("ZOOM TAC-8"), false},
    {QStringLiteral("Steinberg UR"), false},
    {QStringLiteral("AG-06/AG-03"), false},
    {QStringLiteral("FireWire 1814 Multichannel"), false},
    {QStringLiteral("KORG USB Audio Device Driver"), false},
    {QStringLiteral("OCTA-CAPTURE"), false},
    {QStringLiteral("STUDIO-CAPTURE"), false},
    {QStringLiteral("24Ai"), false},
    {QStringLiteral("1248"), false},
    {QStringLiteral("8M"), false},
    {QStringLiteral("896"), false},
    {QStringLiteral("828"), false},
    {QStringLiteral("iFi (by AMR) HD USB Audio"), true},
    {QStringLiteral("MADIface"), false},
    {QStringLiteral("babyface"), false},
    {QStringLiteral("Fireface"), false},
    {QStringLiteral("PHA-1"), false},
    {QStringLiteral("PHA-3"), true},
    {QStringLiteral("AT-PHA100"), true},
    {QStringLiteral("Pioneer XPA-700"), true},
    {QStringLiteral("DAC-HA300"), true},
    {QStringLiteral("SU-AX7"), false},
    {QStringLiteral("OPPO HA-1"), true},
    {QStringLiteral("OPPO HA-2"), true},
    {QStringLiteral("Digidesign HW"), false},
    {QStringLiteral("AVID MBOX"), false},
    {QStringLiteral("Digidesign MBOX"), false},
    {QStringLiteral("Digidesign ELEVEN"), false},
    {QStringLiteral("Scarlett"), false},
    {QStringLiteral("Clarett"), false},
};

const char *const kDsdNativeDeviceName = "ZOLT USB AUDIO DEVICE";

tDopLookup deviceLists_dopLookup(const QString &deviceName, const tDopDevItem *table, int tableRows,
                                 const tDopDevItem userRows[kSettingsDopRows]) {
    // Every row is tested against the whole name. Cutting the name down row
    // by row would leave it too short for any longer row further down, so a
    // device such as the maker's own would never be found.
    tDopLookup found;
    for (int i = 0; i < tableRows; ++i) {
        if (deviceName.startsWith(table[i].name)) {
            found.dop = table[i].dop;
            found.known = true;
            break;
        }
    }
    for (int i = 0; i < kSettingsDopRows; ++i) {
        if (deviceName.startsWith(userRows[i].name)) {
            found.dop = userRows[i].dop;
            found.known = true;
            break;
        }
    }
    return found;
}

bool deviceLists_isFreeDopRow(const tDopDevItem &row) {
    return row.name.isEmpty() || row.name == QLatin1String("false") || row.name == QLatin1String("true") ||
           row.name == QLatin1String("NONE") || row.name == QLatin1String("None");
}

bool deviceLists_registerDopRow(tDopDevItem userRows[kSettingsDopRows], const QString &name, bool dop) {
    for (int i = 0; i < kSettingsDopRows; ++i) {
        if (deviceLists_isFreeDopRow(userRows[i])) {
            userRows[i].name = name;
            userRows[i].dop = dop;
            return true;
        }
    }
    return false;
}

// ---- Rates ----------------------------------------------------------------

namespace {

struct tRateText {
    int rate;
    const char *text;
};

const tRateText kRateTexts[] = {
    {44100, "44.1kHz"},  {48000, "48kHz"},     {88200, "88.2kHz"},    {96000, "96kHz"},      {176400, "176.4kHz"},
    {192000, "192kHz"},  {352800, "352.8kHz"}, {384000, "384kHz"},    {705600, "705.6kHz"},  {768000, "768kHz"},
    {2822400, "2.8MHz"}, {5644800, "5.6MHz"},  {11289600, "11.2MHz"}, {22579200, "22.5MHz"},
};

constexpr int kFirstDsdRate = 2822400;

}  // namespace

QString playRates_text(int rate) {
    for (const tRateText &r : kRateTexts) {
        if (r.rate == rate) return QLatin1String(r.text);
    }
    return QString();
}

int playRates_fromText(const QString &text) {
    for (const tRateText &r : kRateTexts) {
        if (text == QLatin1String(r.text)) return r.rate;
    }
    return 0;
}

tPlayRateList playRates_build(const QVector<int> &deviceRates, bool offer, bool dop, bool nativeDevice) {
    tPlayRateList list;
    bool dop176 = false, dop352 = false, dop705 = false, native = false;
    bool added352 = false, added705 = false, seen384 = false, seen768 = false;
    for (int r : deviceRates) {
        switch (r) {
        case 44100:
        case 48000:
        case 88200:
        case 96000:
        case 192000: list.rates.append(r); break;
        case 176400:
            list.rates.append(r);
            dop176 = dop176 || offer;
            break;
        case 352800:
            dop352 = dop352 || offer;
            if (seen384 && !added352) {
                list.rates.append(r);
                added352 = true;
            }
            break;
        case 384000:
            if (dop352 && !added352) {
                list.rates.append(352800);
                added352 = true;
            }
            list.rates.append(r);
            seen384 = true;
            break;
        case 705600:
            dop705 = dop705 || offer;
            if (seen768 && !added705) {
                list.rates.append(r);
                added705 = true;
            }
            break;
        case 768000:
            if (dop705 && !added705) {
                list.rates.append(705600);
                added705 = true;
            }
            list.rates.append(r);
            seen768 = true;
            break;
        case 2822400:
        case 5644800:
        case 11289600:
        case 22579200:
            list.rates.append(r);
            native = true;
            break;
        default: break;
        }
    }
    bool dopListed = false;
    if (dop && dop176) {
        list.rates.append(2822400);
        dopListed = true;
    }
    if (dop && dop352) {
        list.rates.append(5644800);
        dopListed = true;
    }
    if (dop && dop705 && !nativeDevice) {
        list.rates.append(11289600);
        dopListed = true;
    }
    list.dsd = native || dopListed;
    return list;
}

int playRates_fit(int rate, const QVector<int> &deviceRates) {
    if (rate < 44100) return deviceRates.isEmpty() ? 2 * rate : deviceRates.last();
    int tried = rate;
    for (;;) {
        if (deviceRates.contains(tried)) return tried;
        if (tried < 88200) break;
        tried /= 2;
    }
    return deviceRates.isEmpty() ? 2 * (tried / 2) : deviceRates.last();
}

int playRates_autoChoice(int fileRate, const QVector<int> &deviceRates) {
    if (fileRate <= 0 || deviceRates.isEmpty()) return 44100;
    const bool dsdFile = fileRate >= kFirstDsdRate;
    if (!dsdFile && deviceRates.first() >= kFirstDsdRate) return 44100;
    int taken = deviceRates.first();
    for (int i = 0; i < deviceRates.size(); ++i) {
        const int e = deviceRates[i];
        // A PCM file is never played at a DSD rate: stop before the first.
        if (!dsdFile && e >= kFirstDsdRate) break;
        taken = e;
        if (e >= fileRate) break;
    }
    return taken;
}
