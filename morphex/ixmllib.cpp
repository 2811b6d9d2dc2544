#include "morphex/ixmllib.h"

#include "morphex/fontconv.h"

namespace {

const wchar16 kLibProject[] = {'K', 'A', 'V', 'E', 'L', 'O', ' ', 'D', 'S', 'D', 'P', 'C', 'M', 0};

int libToUtf8(const wchar16 *src, char *dst, int size) {
    return gFont.ConvUTF16toUTF8(src, dst, size) < 0 ? kiXMLErrArg : kiXMLOk;
}

// Version 0.08, build 0001.
const tiXMLFlavour kLibFlavour = {kLibProject, libToUtf8, 0, 8, 1};

int create(int f, const tiXMLData *d) { return ixml_createData(f, d, &kLibFlavour); }

int saveFile(FILE *fp, int f, const tiXMLData *d, tiXMLSearch search, tiXMLDelete del) {
    return ixml_saveFile(fp, f, d, search, del, &kLibFlavour);
}

}  // namespace

const tiXMLControl giXMLControl = {
    giXMLControlMain.init,           // init
    create,                          // createiXMLData
    giXMLControlMain.loadFile,       // loadFile
    saveFile,                        // saveFile
    giXMLControlMain.writeTrackTag,  // writeTrackTag
    giXMLControlMain.readTrackTag,   // readTrackTag
    giXMLControlMain.makeFamilyUid,  // makeFamilyUid
    giXMLControlMain.getFileUid,     // getFileUid
};
