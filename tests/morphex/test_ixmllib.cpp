// The library's iXML texts differ from the program's only in PROJECT and USER.
#include <gtest/gtest.h>

#include <string>

#include "morphex/ixmllib.h"

TEST(IXmlLibrary, ProjectAndUserTexts) {
    const tiXMLSupport rows[] = {{2, 0, 1}, {11, 0, 1}, {-1, 0, 0}};
    ASSERT_EQ(giXMLControl.init(rows), 0);
    tiXMLData d{};
    ASSERT_EQ(giXMLControl.createiXMLData(1, &d), 0);
    std::string text;
    int count = 0;
    ASSERT_EQ(giXMLHandler.getTagCnt(1, &count), 0);
    char piece[258];
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(giXMLHandler.getTag(1, i, piece), 0);
        text += piece;
    }
    EXPECT_EQ(text,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r<BWFXML>\r"
              "<PROJECT>KAVELO DSDPCM</PROJECT>\r"
              "<USER>Recorder : Sonvex Editor 0.08 build 0001</USER>\r</BWFXML>");
}
