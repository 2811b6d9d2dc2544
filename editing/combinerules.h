// The combine window's rules that need no window: the name of the combined
// file, the checks "COMBINE" makes before anything is touched, the texts of
// its result and the placement of its join progress window. Texts go through
// the translator under the window's context, "DialogCombine".
#pragma once

#include <QRect>
#include <QString>

#include "engine/jobrecords.h"
#include "morphex/morphexrecords.h"

// The two modes of the window's mode list.
enum tCombineMode : int {
    kCombineTimeAxis = 0,      // the tail appended to a copy of the head
    kCombineMonoToStereo = 1,  // two mono files as left and right of one file
};

// Longest destination path (in UTF-16 units) that "COMBINE" takes.
constexpr int kCombineMaxDestination = 254;
// The name rule cuts File Name so that Folder + File Name + Type stays
// below this many units.
constexpr int kCombineNameLimit = 255;

// A file name's base: every "."-separated part but the last, joined with
// nothing between them ("my.song.wav" -> "mysong"; no dot -> empty).
QString combineBaseName(const QString &fileName);

// The proposal for the combined file's name.
struct tCombineName {
    QString headBase;
    QString tailBase;
    QString fileName;            // head base + "_" + tail base, cut to fit
    QString type;                // "." + the head name's last part, case kept
    bool folderTooLong = false;  // no name fits the folder; fileName is uncut
};

// The name rule for the accepted head and tail paths and the Folder field.
tCombineName combineNameRule(const QString &headPath, const QString &tailPath, const QString &folder);

// What "COMBINE" checks.
struct tCombineCheck {
    int mode = kCombineTimeAxis;
    bool headSelected = false;  // the side's drop area shows a file
    bool tailSelected = false;
    tAudioFileInfo head;
    tAudioFileInfo tail;
    QString destination;               // Folder + "/" + File Name + Type
    QString fileName;                  // the File Name field
    bool destinationIsSource = false;  // the destination is the head or the tail file
    bool libraryBound = true;          // the entry point the mode needs is bound
};

// The lines of the "Cannot Combine" warning, separated by "\n"; empty when
// the combine may start. Missing files first; the two files' formats only
// when both are there; the name only when the files match.
QString combineRefusal(const tCombineCheck &check);

// The text of the result box: "Combine completed." for code >= 0, else
// "Combine failed." with the disk-space hint for -38 and "[Code = n]".
QString combineResultText(int code);

// The program's record of an accepted file from the library's description:
// samples per channel and seconds by integer division (0 where a divisor
// is 0).
tAudioFileInfo combineFileRecord(const tAudioFileInfoAFile &info);

// Where the join progress window goes: 100 x 50, centred horizontally on
// the combine window, its top a quarter of the way down (integers).
QRect combineJoinProgressRect(const QRect &window);

// True when both paths exist and name the same file (symbolic and hard
// links included).
bool combineIsSameFile(const QString &a, const QString &b);
