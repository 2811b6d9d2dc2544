// The device lists' and the device boot's own logic, without a window or a
// device: the placeholder entry, which entry a rebuild selects, when the
// output device set has changed, finding a saved entry, the DoP device
// table and the look-up in it, the user's learned rows, the rate texts, the
// play-rate list a device's rates give, and the play-rate choice and fit.
//
// Pure functions; the main window calls them on the GUI thread.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

#include "app/settingsfile.h"  // tDopDevItem, kSettingsDopRows

// ---- Device lists -------------------------------------------------------

// The entry that heads the device lists: "(Select Device...)" while at least
// one output device exists, else "(No Device)" (both translatable).
QString deviceLists_placeholder(int outputCount);

// The entry a rebuild selects in a list of `entries` entries (placeholder
// included): the only device (1) when there is exactly one, else the
// placeholder (0).
int deviceLists_initialSelection(int entries);

// The output devices are the same ones, in the same order, with the same
// names as the kept copy.
bool deviceLists_sameOutputs(const QStringList &kept, const QStringList &now);

// The index of the entry whose text equals `text` exactly (case-sensitive,
// whole text); 0 (the first entry) when none does.
int deviceLists_findEntry(const QStringList &entries, const QString &text);

// ---- DoP device table ---------------------------------------------------

enum : int {
    kDopDevListRows = 48,
};

// Device-name prefixes and whether such a device passes DSD packed in PCM
// frames unchanged.
extern const tDopDevItem gDopDevList[kDopDevListRows];

// The device that plays DSD natively; only this exact name is it.
extern const char *const kDsdNativeDeviceName;

struct tDopLookup {
    bool dop = true;     // DoP may be offered (true for a device in neither list)
    bool known = false;  // a table row or a user row matched
};

// Looks a device name up: the first table row that is a prefix of the
// whole name (case-sensitive) decides, and the first matching user row, if
// any, overrides it. An empty row name is a prefix of every name.
tDopLookup deviceLists_dopLookup(const QString &deviceName, const tDopDevItem *table, int tableRows,
                                 const tDopDevItem userRows[kSettingsDopRows]);

// A user row that holds nothing: empty, or exactly "false", "true", "NONE"
// or "None".
bool deviceLists_isFreeDopRow(const tDopDevItem &row);

// Stores {name, dop} in the first free user row; false when all ten are
// taken (nothing stored). A name already present is not looked for.
bool deviceLists_registerDopRow(tDopDevItem userRows[kSettingsDopRows], const QString &name, bool dop);

// ---- Rates ----------------------------------------------------------------

// The entry text of a rate ("44.1kHz" .. "22.5MHz"); empty for a rate
// outside the fourteen.
QString playRates_text(int rate);
// The rate of an entry text, compared exactly; 0 for any other text.
int playRates_fromText(const QString &text);

// What a device boot lists: the rates after "AUTO" in list order, and
// whether any DSD entry (native or DoP) is among them.
struct tPlayRateList {
    QVector<int> rates;
    bool dsd = false;
};

// The play-rate list for a device that reports `deviceRates` (in its own
// order). offer: DoP rates may be offered (allowed by the selection, or the
// device is known); dop: the look-up's answer; nativeDevice: the native-DSD
// device, which never gets the 11.2 MHz DoP entry. 352.8 kHz is listed only
// beside 384 kHz and 705.6 kHz only beside 768 kHz, each before its
// partner when the device reported it first; rates other than the fourteen
// are skipped.
tPlayRateList playRates_build(const QVector<int> &deviceRates, bool offer, bool dop, bool nativeDevice);

// Fits a rate to the device's list: r, r/2, r/4 ... down to the first
// value below 88200 (from 44100 on only), the first that the list holds;
// else the list's last entry; with an empty list twice the value after the
// last one tried (a rate below 44100: twice the rate).
int playRates_fit(int rate, const QVector<int> &deviceRates);

// The rate "AUTO" chooses for a first-track file of fileRate (0: no file
// open): 44100 without a file or a list; for a DSD file, or a list that
// starts with a PCM rate, the first entry at or above the file's rate (the
// last entry when none is), a PCM file stopping before the first DSD
// entry; a PCM file on a list that starts with a DSD rate 44100.
int playRates_autoChoice(int fileRate, const QVector<int> &deviceRates);
