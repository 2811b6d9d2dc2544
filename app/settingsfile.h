// The settings file "sonvexEditor.txt": the user's choices carried from one
// run to the next as UTF-8 key lines ("//Monitor Volume"), each followed by a
// fixed number of value lines. This module is the file's pure logic: the
// compiled-in defaults, where the file lives, how one value line reads, how
// a file splits into sections and how the sections are written. Applying
// the values to the main window's widgets is MainWindow's part (reading
// order matters there: setting a list index runs that list's handler).
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

#include "engine/engineparams.h"  // tDriverComboBox

enum : int {
    kSettingsEqBands = 4,     // EQ1..EQ4 in file order
    kSettingsDopRows = 10,    // the user's DoP device rows
    kSettingsLineCount = 72,  // lines of every written file
};

// One row of a DoP device table: a device-name prefix and whether such a
// device passes DSD packed in PCM frames.
struct tDopDevItem {
    QString name;
    bool dop = false;
};

// One equaliser band as the file and the defaults carry it.
struct tEditorEqBand {
    bool on = false;
    double frequency = 0.0;  // Hz
    double q = 0.0;
    double gainDb = 0.0;
    int type = 0;  // the band's type code (tEqType)
};

// The values in force where the file, or one of its keys, is missing. The
// equaliser part is also every track's starting equaliser.
struct tEditorDefaults {
    double monitorVolumeDb = 0.0;
    int driverType = kDriverCoreAudio;
    QString deviceName;
    QString playRate;
    tEditorEqBand eqBand[kSettingsEqBands];  // EQ1..EQ4; EQ1 is tPEQ band 3
    bool eqAllOn = false;
    double eqTotalGainDb = 0.0;
    bool postFader = false;
    bool neverShowFirstInfo = false;
    int bounceFormat = 0;
    int bounceRate = 1;
    int bounceBits = 1;
    bool applyShortFade = true;
    int overHoldMs = 2000;  // negative: until clicked
    tDopDevItem dopRows[kSettingsDopRows];
    bool oscillatorMode = false;  // kept for the file; nothing reads it
};

// Filled before main runs and never changed afterwards.
extern const tEditorDefaults gEditorDefaults;

// Sections of the file in the order they are written (and, but for the
// oscillator flag, tried when reading).
enum tSettingsKey : int {
    kKeyNone = -1,
    kKeyMonitorVolume = 0,
    kKeyAudioDriver,
    kKeyAudioDevice,
    kKeyPlayFreq,
    kKeyEq1,
    kKeyEq2,
    kKeyEq3,
    kKeyEq4,
    kKeyEqAll,
    kKeyPostFader,
    kKeyNeverShowFirstInfo,
    kKeyBounceFormat,
    kKeyBounceFreq,
    kKeyBounceBit,
    kKeyApplyShortFade,
    kKeyOverHoldTime,
    kKeyOscillatorMode,
    kKeyDopDevList,
    kSettingsKeyCount
};

// The key line of a section ("//EQ1").
QString settings_keyText(tSettingsKey key);

// Value lines that follow the section's key line.
int settings_valueLineCount(tSettingsKey key);

// The section whose key a line begins with (case-sensitive; whatever follows
// the key is ignored), kKeyNone when none. The oscillator flag is not read
// back, so its key line is no key here.
tSettingsKey settings_keyOfLine(const QString &line);

// Value lines as the reader takes them. A line that is not a number reads
// as 0 (an integer outside 32 bits too); a flag is true exactly when the
// line begins with "true"; a text loses its outer white space and keeps
// single blanks for inner runs.
double settings_readReal(const QString &line);
int settings_readInt(const QString &line);
bool settings_readBool(const QString &line);
QString settings_readText(const QString &line);

// Value lines as the writer puts them (without the line feed): six
// significant digits in the shorter notation ("100", "0.9", "1e+06").
QString settings_realText(double value);
QString settings_boolText(bool value);
QString settings_driverText(int driverType);  // "CoreAudio", "WASAPI", else "ASIO"
int settings_driverFromText(const QString &line);

// One section found in a file: its key and its value lines, as read. A file
// cut short gives empty lines for what is missing.
struct tSettingsSection {
    tSettingsKey key = kKeyNone;
    QVector<QString> values;
};

// Splits a file's bytes into its sections in file order: empty and
// unrecognised lines are skipped one at a time; a section's value lines are
// taken without a key test. Duplicates stay, so the last one wins when
// applied in order.
QVector<tSettingsSection> settings_parse(const QByteArray &file);

// Everything the writer puts out, as the main window holds it at shut-down.
struct tSettingsValues {
    double monitorVolumeDb = 0.0;
    int driverType = 0;
    QString deviceText;                  // the device list's current text
    QString playRateText;                // the play-rate list's current text
    tEditorEqBand eq[kSettingsEqBands];  // EQ1..EQ4 (master bands 3..0)
    bool eqAllOn = false;
    double eqTotalGainDb = 0.0;
    bool postFader = false;
    bool neverShowFirstInfo = false;
    int bounceFormat = 0;
    int bounceFreq = 0;
    int bounceBit = 0;
    bool applyShortFade = false;
    bool overHolds2sec = true;  // else held until clicked
    bool oscillatorMode = false;
    tDopDevItem dopRows[kSettingsDopRows];
};

// The whole file: 18 sections, 72 lines, each ending in one line feed.
QByteArray settings_compose(const tSettingsValues &values);

// The file's path: the application-local data location with every
// occurrence of the executable's base name replaced by "KAVELO/", and the
// file name appended straight after (the replacement brings the separator).
QString settings_composePath(const QString &dataLocation, const QString &exeBaseName);

// Writes the bytes to a new file beside the old one and then puts it in the
// old one's place, so a failed write leaves the previous settings intact.
// False (and the old file untouched) when any step fails.
bool settings_writeFile(const QString &path, const QByteArray &bytes);
