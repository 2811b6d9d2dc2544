// The export window's rules that need no window: what each entry of its
// format, rate, word-length, dither and channel lists stands for, the names
// of the files an export writes, the checks "EXPORT" makes, the program's
// record of the source, the output half of the mix-down record and the texts
// of the result. Texts go through the translator under the window's context,
// "DialogEdit".
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

#include "dsp/dspvolume.h"
#include "engine/jobrecords.h"
#include "morphex/morphexrecords.h"

class QWidget;

// File type codes an export job carries (the format list's index is the
// output format index 0 WAV, 1 DSDIFF, 2 DSF).
enum tExportFileType : int {
    kExportWav = 0,
    kExportFlac = 1,  // written as WAV, then encoded; no list entry selects it
    kExportDsf = 2,
    kExportDsdiff = 3,
};

// Results of the export run besides the library's own.
enum : int {
    kExportErrNoLibrary = -1000,  // getAudioFileInformation could not be bound
    kExportErrSource = -17,       // the library described a source with no channels, bits or rate
    kExportCancelPcm = -255,      // the job was cancelled (Abort)
    kExportCancelDsd = -254,
    kExportErrWrite = -28,
    kExportErrUpdateSize = -29,
    kExportErrDiskFull = -38,
    kExportErrSameFile = -40,  // the library refused a destination that is the source
};

// A path of this many UTF-16 units or more is refused.
constexpr int kExportPathLimit = 256;
// The main window exports a region only when out - in exceeds this.
constexpr int64_t kExportShortestRegion = 99;

// The work files of an export, in the export folder.
extern const char *const kExportFlacTempName;    // "SonvexEditorFlacExportTemp.wav"
extern const char *const kExportBounceBaseName;  // "SonvexBounceTemp"

// The format list's entry (index 0 WAV, 1 DSDIFF, 2 DSF; anything else WAV).
struct tExportFormat {
    int fileType = kExportWav;
    QString extension;  // ".wav", ".dff", ".dsf"
    bool dsd = false;   // the DSD menus
};
tExportFormat exportFormatOfIndex(int index);

// The rate list's entry, matched exactly; an unknown or empty text gives
// 44100 Hz, index 0, "_44k".
struct tExportRate {
    uint32_t hz = 44100;
    int rateIndex = 0;
    QString suffix;  // appended to the base name, e.g. "_48k"
};
tExportRate exportRateOfText(const QString &text);

// The bit list's entry, matched exactly; anything else 16 bits with dither.
struct tExportBits {
    int bits = 16;
    bool ditherChoices = true;  // "Dither" and "Noise Shape" are offered
};
tExportBits exportBitsOfText(const QString &text);

// The menus a format gets: the bit, rate and dither lists' entries and the
// entries selected after the refill. FLAC offers neither 32 bits nor the
// rates above 192 kHz.
struct tExportMenus {
    QStringList bits;
    QStringList rates;
    int bitIndex = 0;
    int rateIndex = 0;
};
tExportMenus exportMenusFor(bool dsd, int fileType);

// Dither list index -> dither mode (0 none, 1 dither, 2 noise shape).
int exportDitherMode(int index);
// Channel list index -> output channels: 0 ("DUAL MONO" or "MONO") gives 1,
// anything else (the -1 of a cleared list too) 2.
int exportChannelsOfIndex(int index);
// The channel list's entries: "MONO" alone for a mono single track, else
// "DUAL MONO", "STEREO".
QStringList exportChannelList(int channels, int trackCount);
// "MONO" 1, "DUAL MONO" 2, anything else 0.
int exportStereoFlagOfText(const QString &channelText);

// The file one pass writes: name + extension, or name + "_01"/"_02" +
// extension for the left and right pass of a DUAL MONO export.
QString exportPassName(const QString &name, const QString &extension, bool dualMono, bool rightPass);
// The name shown while exporting: the pass name, or name + "_01 & 02" +
// extension for DUAL MONO.
QString exportShownName(const QString &name, const QString &extension, bool dualMono);
// The files an export writes, folder + "/" + pass name: one, or the two
// DUAL MONO passes.
QStringList exportDestinations(const QString &folder, const QString &name, const QString &extension, bool dualMono);

// What "EXPORT" refuses before anything is touched (the overwrite question
// comes after): the refusal's text, empty when the export may go on. A path
// of kExportPathLimit units or more (the longest of the destinations) is
// refused first, then a blank name.
QString exportRefusal(const QStringList &destinations, const QString &name);

// True when every character of the text lies below U+0100 (an empty text
// too): what a DSDIFF title or artist may hold.
bool exportIsLatin1(const QString &text);

// The program's record of the source from the library's description:
// 0, or kExportErrSource (record untouched) when channels, bits or rate are
// 0 and the lengths cannot be computed. formatTag and startSample stay 0.
int exportFileRecord(const tAudioFileInfoAFile &info, tAudioFileInfo *out);

// Shortest fade in source samples: 100 ms of source time with the short
// fade, else 0.
int64_t exportMinimumFade(uint32_t sourceRate, bool shortFade);

// The output half of the mix-down record for a play rate: WAV 32-bit below
// 2822400 Hz, else 1-bit DSDIFF; bouncePath = folder + "/" +
// "SonvexBounceTemp" + extension.
void exportBounceParams(tBounceParam *record, int rate, int channels, const QString &folder);

// The text of a pass's result box ("Export completed.", "Export aborted.",
// or the failure text with "\n[Code = n]").
QString exportResultText(int code);
// True when a pass that ended with this code leaves files to remove: every
// failure but an abort and the library's refusal of a destination that is
// the source.
bool exportFailureRemovesFiles(int code);
// "Export failed." with "\n[Code = n]", whatever the code: a pass that could
// not be started.
QString exportFailedText(int code);
// The refusal when one of the destinations is the source file itself
// (links included), which the export would destroy.
QString exportSameFileText();

// The main window's check before it shows the export window: a region of
// kExportShortestRegion samples or fewer gets the "Cannot Export" warning
// ("IN - OUT too short.") and false.
bool exportRegionTooShort(const tWaveEditParam &region);
bool exportCheckRegion(QWidget *parent, const tWaveEditParam &region);
