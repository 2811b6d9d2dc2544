// How a file is taken in: the main window chooses, the FLAC worker carries
// the choice through a decode and hands it back with the result.
#pragma once

// How the main window takes a file in. The FLAC worker carries it through a
// decode untouched and hands it back with the result; the export window
// passes kFileOpenReplace.
enum tFileOpenMode : int {
    kFileOpenReplace = 0,  // every track is removed; the file becomes the first track
    kFileOpenAdd = 1,      // a further track (acts as 0 while no file has been opened)
    kFileOpenReserve = 2,  // only the next track slot's objects are made
};
