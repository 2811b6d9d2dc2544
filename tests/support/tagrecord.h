// A tag record with text buffers of the capacities the program allocates,
// for the tag loaders and registrations under test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "audiofile/audiohelpers.h"
#include "testutil.h"

namespace sxtest {

struct TagRecord {
    // fill is what the texts hold before a call, so that a test can tell
    // which units a loader wrote. The numbers start at 0.
    explicit TagRecord(wchar16 fill = 0)
        : title(kTagTextUnits, fill),
          artist(kTagTextUnits, fill),
          album(kTagTextUnits, fill),
          genre(kTagTextUnits, fill),
          picture(kTagTextUnits, fill),
          comment(kTagCommentUnits, fill) {
        point();
    }
    // A copy points at its own buffers, never at the original's.
    TagRecord(const TagRecord &o)
        : title(o.title),
          artist(o.artist),
          album(o.album),
          genre(o.genre),
          picture(o.picture),
          comment(o.comment),
          info(o.info) {
        point();
    }
    TagRecord &operator=(const TagRecord &) = delete;

    // Date and time "not set", as the record's creators leave them.
    void unsetDate() { info.year = info.hour = info.minute = info.second = info.frame = -1; }

    // dst holds s (UTF-8) and zeros behind it.
    static void set(std::vector<wchar16> &dst, const std::string &s) {
        const std::vector<int16_t> u = u16(s);
        ASSERT_LE(u.size(), dst.size()) << s;
        std::fill(dst.begin(), dst.end(), 0);
        std::copy(u.begin(), u.end(), dst.begin());
    }

    std::vector<wchar16> title, artist, album, genre, picture, comment;
    tID3tagInfo info{};

private:
    void point() {
        info.title = title.data();
        info.artist = artist.data();
        info.album = album.data();
        info.genre = genre.data();
        info.picturePath = picture.data();
        info.comment = comment.data();
    }
};

}  // namespace sxtest
