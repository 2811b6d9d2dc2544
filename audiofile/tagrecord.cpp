#include "audiofile/tagrecord.h"

void gInitTagInfo(tID3tagInfo *tag) {
    if (!tag) return;
    wchar16 *texts[] = {tag->title, tag->artist, tag->album, tag->comment, tag->genre};
    for (wchar16 *t : texts)
        if (t) t[0] = 0;
    tag->trackNo = 0;
    tag->year = -1;
    tag->month = 0;
    tag->day = 0;
    tag->hour = -1;
    tag->minute = -1;
    tag->second = -1;
    tag->frame = -1;
    tag->hasPicture = 0;
}
