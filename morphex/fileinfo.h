// The library's file queries: a file's format, sizes, marks and start time
// (getAudioFileInfo), and a file's tag, or a tag registered for the next
// file the library writes (id3tagInfo). The exported entry points
// getAudioFileInformation and id3tagInformation forward here. The format is
// decided by the file name's extension and the handlers are reached through
// the format dispatchers.
//
// Threads: any caller's thread. getAudioFileInfo leaves the file's marks in
// mark list 0, which every caller of the library shares.
#pragma once

#include <cstdint>

#include "audiofile/tagrecord.h"
#include "base/wstring.h"
#include "morphex/morphexrecords.h"

// Results of the queries.
enum : int {
    kFileInfoOk = 0,
    kFileInfoErrOpen = -3,         // the file cannot be opened
    kFileInfoErrType = -7,         // extension none of the four, or the header check fails
    kFileInfoErrFmt = -8,          // no usable format chunk (zero channels or bits included)
    kFileInfoErrData = -9,         // no data chunk, or the marks cannot be loaded
    kFileInfoErrTagHandler = -37,  // the format's tag slot failed
};

// Library type code of a path's extension (case-insensitive): ".wav" 0,
// ".dsf" 2, ".dff" 3, ".wsd" 4; -1 for anything else.
[[nodiscard]] int getFileTypeFromExtention(const wchar16 *path);

// Fills info (caller-owned; its mark array must hold every mark of the
// file, at most 99) and prints the failing step's line on the standard
// output. Mark names are cut to the 15 characters of the record's name
// field. 0, -3, -7, -8 or -9.
[[nodiscard]] int getAudioFileInfo(const wchar16 *path, tAudioFileInfoAFile *info);

// operation 0: reads the tag of the file at path into tag (type 127 decides
// by the extension; only the low 8 bits of type count); 0, -3, -7 or -37.
// operation 1: registers tag for the next file of that type (127 is not
// resolved and fails); the file is not opened; 0 or -37.
// Any other operation: 0, nothing done.
[[nodiscard]] int id3tagInfo(int operation, int type, const wchar16 *path, tID3tagInfo *tag);
