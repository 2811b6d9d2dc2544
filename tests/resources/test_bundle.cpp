// The resource bundle as the program sees it: linking sx_resources alone must
// make every picture, style sheet, page and the font available at the paths
// and sizes the windows use, and keep out what the program names but the
// bundle must not hold.
#include <gtest/gtest.h>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QImage>
#include <QRegularExpression>

#include <set>
#include <string>
#include <vector>

namespace {

struct Expected {
    QString path;
    int width;
    int height;
};

std::vector<Expected> expectedPictures() {
    std::vector<Expected> e;
    const QString P = ":/resources2/parts/";
    auto add = [&](const QString &path, int w, int h) { e.push_back({path, w, h}); };
    auto addAll = [&](const QString &stem, const QStringList &suffixes, int w, int h) {
        for (const QString &s : suffixes) add(stem + s + ".png", w, h);
    };

    // style-sheet buttons
    addAll(P + "SetPoint-button", {"_off", "_on", "_disable"}, 110, 23);
    add(P + "blackButton.png", 52, 25);
    addAll(P + "button_control-panel", {"_off", "_on", "_disable"}, 50, 27);
    addAll(P + "scrol_p", {"_off", "_on", "_disable"}, 16, 16);
    addAll(P + "scrol_m", {"_off", "_on", "_disable"}, 16, 16);
    add(P + "grayDownArrow.png", 10, 6);
    addAll(P + "Operation-play", {"_off", "_on", "_off-on", "_onon", "_disable"}, 45, 35);
    addAll(P + "Operation-stop", {"_off", "_on", "_disable"}, 33, 34);
    addAll(P + "Operation-top", {"_off", "_on", "_disable"}, 52, 36);
    addAll(P + "Operation-rec", {"_off", "_on", "_off-on", "_onon", "_disable"}, 32, 32);
    for (const char *b : {"mute", "solo", "rec"}) addAll(P + b, {"-OFF", "-ON", "-OFF-holdOn", "-ON-holdOn"}, 84, 27);
    for (const char *b : {"edit_rec", "edit_solo", "edit_mute"}) add(P + b + "-OFF.png", 21, 21);

    // lamps and switches
    for (const char *l : {"EQ_button", "FX_button", "FXsend_button"}) addAll(P + l, {"-on", "-off"}, 84, 31);
    add(P + "reverb_button-off.png", 84, 31);
    add(P + "stereoMode.png", 80, 22);
    add(P + "multiTrack.png", 80, 22);
    add(P + "vsaOff.png", 99, 99);
    add(P + "vsaOn.png", 99, 99);
    for (const char *l : {"oscOn", "oscOff", "eqOn", "eqOff"}) add(QString(":/jpgData/") + l + ".png", 91, 71);
    add(":/jpgData/inMoniOn.png", 101, 61);
    add(":/jpgData/inMoniOff.png", 101, 61);

    // equaliser window
    addAll(P + "button", {"-ON", "-ON_disable", "-OFF_disable"}, 85, 25);
    for (const char *t : {"Peak", "Shelf", "LF"})
        addAll(P + "TYPE-" + t, {"_on", "_off", "_on_disable", "_off_disable"}, 45, 35);
    addAll(P + "Area", {"_on", "_off"}, 56, 17);
    addAll(P + "Dial", {"_on", "_off"}, 64, 64);
    add(P + "Dial_point.png", 11, 11);
    for (int band = 1; band <= 4; ++band)
        for (const char *st : {"-off", "-on", "-onon"}) {
            const QString stem = P + QString("point_eq_%1").arg(band) + st;
            add(stem + ".png", 24, 24);
            add(stem + "@2x.png", 48, 48);
        }
    for (int ch = 5; ch <= 8; ++ch) add(P + QString("point_ch%1.png").arg(ch), 24, 24);

    // faders
    addAll(P + "volume", {"_off", "_on"}, 16, 16);
    add(":/resources2/bg/faderBack.png", 31, 141);
    add(":/resources2/bg/panBack.png", 61, 20);

    // track view: 1x and ten further ratios, the 2.25 cursor named without "x"
    struct Ratio {
        const char *handle, *cursor;
        double q;
    };
    const Ratio ratios[] = {
        {"", "", 1},       {"@1.25x", "@1.25x", 1.25}, {"@1.5x", "@1.5x", 1.5}, {"@1.75x", "@1.75x", 1.75},
        {"@2x", "@2x", 2}, {"@2.25x", "@2.25", 2.25},  {"@2.5x", "@2.5x", 2.5}, {"@2.75x", "@2.75x", 2.75},
        {"@3x", "@3x", 3}, {"@3.5x", "@3.5x", 3.5},    {"@4x", "@4x", 4}};
    for (const Ratio &r : ratios) {
        const int hs = int(20 * r.q);
        add(P + "point_BlueFlat_off" + r.handle + ".png", hs, hs);
        add(P + "point_BlueFlat_on" + r.handle + ".png", hs, hs);
        add(P + "playCursor" + r.cursor + ".png", int(12 * r.q), int(184 * r.q));
    }

    add(P + "piano.png", 32, 35);
    add(P + "mic.png", 32, 32);
    add(P + "NoPhoto.png", 128, 128);
    add(":/resources2/icons/icon_over.png", 32, 32);

    add(":/resources2/bg/mainWindow_back.png", 800, 600);
    add(":/resources2/bg/EQ_back.png", 800, 600);
    add(":/resources2/bg/Sonvex_splash.png", 600, 444);
    add(":/resources2/bg/about_back.png", 380, 144);
    add(":/resources2/bg/Export_back.png", 540, 441);
    add(":/resources2/bg/Combine_back.png", 540, 409);
    return e;
}

// Named by the program, deliberately not in the bundle.
const char *const kAbsent[] = {
    ":/resources2/parts/monitor_button-on.png",
    ":/resources2/parts/monitor_button-off.png",
    ":/resources2/parts/testno.png",
    ":/resources2/parts/testok.png",
    ":/resources2/parts/testng.png",
    ":/resources2/parts/totalok.png",
    ":/resources2/parts/totalng.png",
    ":/resources2/table/tonalithTest.json",
    ":/resources2/parts/point_ch9.png",
    ":/resources2/parts/point_ch32.png",
    ":/resources2/bg_ZOLT/ZOLT_main_back.png",
    ":/resources2/bg_ZOLT/ZOLT_about_back.png",
    ":/resources2/bg_ZOLT/ZOLT_Combine_back.png",
};

const char *const kSheets[] = {
    "setpointbutton",    "blackButton",   "blackComboBox",   "snxPlayButton", "snxStopButton",
    "snxZeroPlayButton", "snxRecButton",  "whiteButton",     "zoomInButton",  "zoomOutButton",
    "snxMuteButton",     "snxSoloButton", "snxRecArmButton", "default",       "timelineTrackSplitter",
};

QByteArray readAll(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

}  // namespace

TEST(ResourceBundle, EveryNamedPictureLoadsAtItsSize) {
    const std::vector<Expected> expected = expectedPictures();
    for (const Expected &e : expected) {
        const QImage img(e.path);
        ASSERT_FALSE(img.isNull()) << qPrintable(e.path);
        EXPECT_EQ(img.width(), e.width) << qPrintable(e.path);
        EXPECT_EQ(img.height(), e.height) << qPrintable(e.path);
        EXPECT_TRUE(img.hasAlphaChannel() || e.path.contains("/bg/")) << qPrintable(e.path);
    }
    // Nothing else is drawn: a picture in the bundle but not in the list above
    // is a misspelt name that no window would ever open.
    std::set<QString> names;
    for (const Expected &e : expected) names.insert(e.path);
    int seen = 0;
    for (const char *root : {":/resources2", ":/jpgData"}) {
        QDirIterator it(root, {"*.png"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            EXPECT_TRUE(names.count(path)) << "unexpected picture " << qPrintable(path);
            ++seen;
        }
    }
    EXPECT_EQ(seen, int(names.size()));
}

TEST(ResourceBundle, NamedButAbsentResourcesStayOut) {
    for (const char *path : kAbsent) EXPECT_FALSE(QFile::exists(path)) << path;
    EXPECT_TRUE(QImage(":/resources2/parts/monitor_button-off.png").isNull());
}

TEST(ResourceBundle, PathWithoutSlashAfterColonNamesTheSameResource) {
    const QImage a(":resources2/parts/point_ch6.png");
    const QImage b(":/resources2/parts/point_ch6.png");
    ASSERT_FALSE(a.isNull());
    EXPECT_EQ(a, b);
}

TEST(ResourceBundle, DisabledPicturesAreGreyerThanTheirNormalOnes) {
    // mean saturation over opaque pixels
    auto saturation = [](const QString &path) {
        const QImage img = QImage(path).convertToFormat(QImage::Format_ARGB32);
        double sum = 0;
        int n = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                const QColor c = img.pixelColor(x, y);
                if (c.alpha() > 200) {
                    sum += c.hsvSaturationF();
                    ++n;
                }
            }
        return n ? sum / n : 0.0;
    };
    const std::pair<const char *, const char *> pairs[] = {
        {":/resources2/parts/SetPoint-button_off.png", ":/resources2/parts/SetPoint-button_disable.png"},
        {":/resources2/parts/Operation-play_off.png", ":/resources2/parts/Operation-play_disable.png"},
        {":/resources2/parts/TYPE-Peak_on.png", ":/resources2/parts/TYPE-Peak_on_disable.png"},
        {":/resources2/parts/button-ON.png", ":/resources2/parts/button-ON_disable.png"},
    };
    for (const auto &pr : pairs) EXPECT_LT(saturation(pr.second), 0.5 * saturation(pr.first)) << pr.second;
}

TEST(ResourceBundle, StyleSheetsAreLatin1AndNameOnlyBundledPictures) {
    const QRegularExpression url("url\\((:[^)]*)\\)");
    for (const char *name : kSheets) {
        const QString path = QString(":/resources2/qss/%1.qss").arg(name);
        const QByteArray bytes = readAll(path);
        ASSERT_FALSE(bytes.isEmpty()) << qPrintable(path);
        for (char c : bytes)
            EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80) << qPrintable(path) << " has a non-ASCII byte";
        const QString sheet = QString::fromLatin1(bytes);
        auto m = url.globalMatch(sheet);
        while (m.hasNext()) {
            const QString pic = m.next().captured(1);
            EXPECT_FALSE(QImage(pic).isNull()) << qPrintable(path) << " names " << qPrintable(pic);
        }
    }
}

TEST(ResourceBundle, ClassSheetsSelectOnlyTheirOwnClass) {
    const std::pair<const char *, const char *> own[] = {
        {"setpointbutton", "setPointButton"},   {"blackButton", "blackButton"},
        {"blackComboBox", "blackComboBox"},     {"snxPlayButton", "snxPlayButton"},
        {"snxStopButton", "snxStopButton"},     {"snxZeroPlayButton", "snxZeroPlayButton"},
        {"snxRecButton", "snxRecButton"},       {"whiteButton", "whiteButton"},
        {"zoomInButton", "zoomInButton"},       {"zoomOutButton", "zoomOutButton"},
        {"snxMuteButton", "snxMuteButton"},     {"snxSoloButton", "snxSoloButton"},
        {"snxRecArmButton", "snxRecArmButton"},
    };
    // every selector: the text before each "{", split at ","
    const QRegularExpression block("([^{}]*)\\{[^}]*\\}");
    for (const auto &o : own) {
        const QString sheet = QString::fromLatin1(readAll(QString(":/resources2/qss/%1.qss").arg(o.first)));
        auto m = block.globalMatch(sheet);
        int rules = 0;
        while (m.hasNext()) {
            for (const QString &sel : m.next().captured(1).split(',')) {
                EXPECT_TRUE(sel.trimmed().startsWith(o.second)) << o.first << ": " << qPrintable(sel.trimmed());
                ++rules;
            }
        }
        EXPECT_GT(rules, 0) << o.first;
    }
}

TEST(ResourceBundle, DefaultSheetHoldsTheFontPlaceholderAndTheFontRegisters) {
    const QString sheet = QString::fromLatin1(readAll(":/resources2/qss/default.qss"));
    EXPECT_TRUE(sheet.contains("DEFAULT-FONT"));

    const int id = QFontDatabase::addApplicationFont(":/resources2/font/ipagp.ttf");
    ASSERT_GE(id, 0);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    ASSERT_FALSE(families.isEmpty());
    EXPECT_FALSE(families.first().isEmpty());
    QFontDatabase::removeApplicationFont(id);
}

TEST(ResourceBundle, LicencePageCarriesBothNoticesWithTheirTexts) {
    const QString page = QString::fromUtf8(readAll(":/resources2/html/license.html"));
    ASSERT_FALSE(page.isEmpty());
    // an index of two anchors, each leading to its section
    const QRegularExpression link("href=\"#([a-z]+)\"");
    QStringList targets;
    auto m = link.globalMatch(page);
    while (m.hasNext()) targets << m.next().captured(1);
    ASSERT_EQ(targets.size(), 2);
    for (const QString &t : targets) EXPECT_TRUE(page.contains("name=\"" + t + "\"")) << qPrintable(t);
    EXPECT_TRUE(page.contains("GNU LESSER GENERAL PUBLIC LICENSE"));
    EXPECT_TRUE(page.contains("Version 3, 29 June 2007"));
    EXPECT_TRUE(page.contains("IPA Font License Agreement v1.0"));
    EXPECT_TRUE(page.contains(QString::fromUtf8("IPAフォントライセンスv1.0")));
}
