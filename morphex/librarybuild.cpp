#include "morphex/librarybuild.h"

#include "morphex/dsdifftag.h"
#include "morphex/dsflibtag.h"

const tAudioFileBuild gLibraryBuild = {
    true,                // library
    dsflib_saveCueData,  // saveTag: DSF tag with the registered texts, marks and album art
    dsflib_loadCueData,  // loadMarks: DSF marks of the tag's mark frame
    dsdiffTag_append,    // tagAfterMarks: DSDIFF registered title and artist
};
