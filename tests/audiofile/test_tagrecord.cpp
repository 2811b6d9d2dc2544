#include <gtest/gtest.h>

#include "audiofile/tagrecord.h"

TEST(TagRecord, InitKeepsTotalsPictureAndStart) {
    wchar16 title[kTagTextUnits] = {'T', 0}, artist[kTagTextUnits] = {'A', 0}, album[kTagTextUnits] = {'B', 0},
            genre[kTagTextUnits] = {'G', 0}, picture[kTagTextUnits] = {'P', 0}, comment[kTagCommentUnits] = {'C', 0};
    tID3tagInfo tag{};
    tag.title = title;
    tag.artist = artist;
    tag.album = album;
    tag.genre = genre;
    tag.picturePath = picture;
    tag.comment = comment;
    tag.trackNo = 3;
    tag.totalTracks = 12;
    tag.year = 2024;
    tag.month = 5;
    tag.day = 6;
    tag.hour = 7;
    tag.minute = 8;
    tag.second = 9;
    tag.frame = 10;
    tag.hasPicture = 1;
    tag.startSample = 123456789;

    gInitTagInfo(&tag);
    EXPECT_EQ(title[0], 0);
    EXPECT_EQ(artist[0], 0);
    EXPECT_EQ(album[0], 0);
    EXPECT_EQ(genre[0], 0);
    EXPECT_EQ(comment[0], 0);
    EXPECT_EQ(picture[0], 'P');
    EXPECT_EQ(tag.title, title);
    EXPECT_EQ(tag.trackNo, 0);
    EXPECT_EQ(tag.totalTracks, 12);
    EXPECT_EQ(tag.year, -1);
    EXPECT_EQ(tag.month, 0);
    EXPECT_EQ(tag.day, 0);
    EXPECT_EQ(tag.hour, -1);
    EXPECT_EQ(tag.minute, -1);
    EXPECT_EQ(tag.second, -1);
    EXPECT_EQ(tag.frame, -1);
    EXPECT_EQ(tag.hasPicture, 0);
    EXPECT_EQ(tag.startSample, 123456789u);
}
