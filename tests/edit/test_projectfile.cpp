// Project model, project file writing and reading.
#include "edit/projectfile.h"
#include "trace/debugclient.h"

#include "support/testutil.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string readText(const std::string &path) {
    std::vector<uint8_t> b = sxtest::readAll(path);
    return std::string(b.begin(), b.end());
}

void writeText(const std::string &path, const std::string &text) {
    ASSERT_TRUE(sxtest::writeAll(path, std::vector<uint8_t>(text.begin(), text.end())));
}

// Parses a file with Python's own XML parser and returns its element tree
// as JSON: {"tag", "text" (null when none), "children"}.
QJsonObject parseWithPython(const sxtest::TempDir &dir, const std::string &file) {
    const std::string script = dir.file("dump.py");
    writeText(script,
              "import sys, json, xml.etree.ElementTree as ET\n"
              "def conv(e):\n"
              "    return {'tag': e.tag, 'text': e.text, 'children': [conv(c) for c in e]}\n"
              "print(json.dumps(conv(ET.parse(sys.argv[1]).getroot())))\n");
    std::string cmd = "/usr/bin/python3 '" + script + "' '" + file + "'";
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        EXPECT_EQ(pclose(p), 0) << "python could not parse " << file;
    }
    return QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
}

QStringList childTags(const QJsonObject &e) {
    QStringList tags;
    for (const QJsonValue &c : e.value("children").toArray()) tags << c.toObject().value("tag").toString();
    return tags;
}

QJsonObject child(const QJsonObject &e, const QString &tag) {
    for (const QJsonValue &c : e.value("children").toArray())
        if (c.toObject().value("tag").toString() == tag) return c.toObject();
    return QJsonObject();
}

QString text(const QJsonObject &e) { return e.value("text").toString(); }

tProjectEQParams makeEq(int seed) {
    tProjectEQParams eq{};
    for (int k = 0; k < 4; ++k) {
        eq.band[k].on = (seed + k) % 2 == 0;
        eq.band[k].freq = 100.0 * (seed + 1) + 1000.0 * k;
        eq.band[k].q = 0.5 + 0.5 * k;
        eq.band[k].gain = -3.5 + seed + k;
        eq.band[k].type = k + 1;
    }
    eq.allOn = seed % 2 == 1;
    eq.allGain = 1.5 - 1.5 * seed;
    return eq;
}

void expectEqEqual(const tProjectEQParams &a, const tProjectEQParams &b) {
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.band[k].on, b.band[k].on) << "band " << k;
        EXPECT_DOUBLE_EQ(a.band[k].freq, b.band[k].freq) << "band " << k;
        EXPECT_DOUBLE_EQ(a.band[k].q, b.band[k].q) << "band " << k;
        EXPECT_DOUBLE_EQ(a.band[k].gain, b.band[k].gain) << "band " << k;
        EXPECT_EQ(a.band[k].type, b.band[k].type) << "band " << k;
    }
    EXPECT_EQ(a.allOn, b.allOn);
    EXPECT_DOUBLE_EQ(a.allGain, b.allGain);
}

// A project file body around the given sections, for reading tests.
std::string adl(const std::string &sections) { return "<SONVEXEDITOR>\n" + sections + "</SONVEXEDITOR>\n"; }

std::string sourceIndex(std::initializer_list<int> tracks) {
    std::string s = "<SOURCE_INDEX>";
    for (int t : tracks)
        s += "<TRACK" + std::to_string(t) + "><FILEPATH>/music/t" + std::to_string(t) + ".wav</FILEPATH></TRACK" +
             std::to_string(t) + ">";
    return s + "</SOURCE_INDEX>\n";
}

}  // namespace

// ------------------------------------------------------------------ writing

TEST(ProjectWrite, EmptyProjectSectionsAsAnIndependentParserSeesThem) {
    sxtest::TempDir dir;
    projectFile pf;
    const std::string path = dir.file("empty.adl");
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);

    QJsonObject root = parseWithPython(dir, path);
    EXPECT_EQ(root.value("tag").toString(), "SONVEXEDITOR");
    EXPECT_EQ(childTags(root),
              (QStringList{"VERSION", "PROJECT", "SEQUENCE", "TRACKLIST", "FADER_LIST", "PAN_LIST", "PEQ", "DELAY"}));
    EXPECT_EQ(text(child(root, "TRACKLIST")), "\n    ");
    EXPECT_EQ(text(child(root, "FADER_LIST")), "\n    ");
    EXPECT_EQ(text(child(root, "PAN_LIST")), "\n    ");
    EXPECT_EQ(childTags(child(root, "PEQ")), QStringList{"TRACK_MASTER"});
    EXPECT_EQ(childTags(child(child(root, "PEQ"), "TRACK_MASTER")), (QStringList{"ALL", "EQ1", "EQ2", "EQ3", "EQ4"}));
    EXPECT_TRUE(child(root, "DELAY").value("children").toArray().isEmpty());
    EXPECT_TRUE(child(root, "DELAY").value("text").isNull());

    EXPECT_EQ(text(child(root, "VERSION")),
              "\n\t\t(ADL_ID)\t\"06,64,43,52,01,01,01,04,01,02,03,04,\"\n"
              "\t\t(ADL_UID)\t\"4f1c2a90-7d3e-11e5-8b52-0a0b0c0d0e0f\"\n"
              "\t\t(VER_ADR_VERSION)\t01.02\n"
              "\t\t(VER_CREATEOR)\t\"KAVELO Sonvex Editor\"\n"
              "\t\t(VER_CRTR)\t01.00\n    ");
    EXPECT_EQ(text(child(root, "PROJECT")),
              "\n\t\t(PROJ_TITLE)\t\"Project\"\n\t\t(PROJ_ORIGINATOR)\t\"KAVELO\"\n"
              "\t\t(PROJ_CREATE_DATE)\t\"\"\n\t\t(PROJ_NOTES)\t\"\"\n\t\t(PROJ_CLIENT_DATA)\t\"\"\n    ");
    EXPECT_EQ(text(child(root, "SEQUENCE")),
              "\n\t\t(SEQ_TITLE)\t\"_\"\n\t\t(SEQ_DESCRIPT)\t\"_\"\n\t\t(SEQ_SAMPLE_RATE)\tS44100\n"
              "\t\t(SEQ_SAMP_RATE_FACTOR)\t1\n\t\t(SEQ_FRAME_RATE)\t30\n\t\t(SEQ_ADL_LEVEL)\t1\n"
              "\t\t(SEQ_CLEAN)\tFALSE\n\t\t(SEQ_MULTICHAN)\tTRUE\n"
              "\t\t(SEQ_DEST_START)\t00:00:00,00|0000\n    ");

    // No XML declaration; four spaces per level; the section texts put
    // their lines on lines of their own.
    const std::string raw = readText(path);
    EXPECT_EQ(raw.rfind("<SONVEXEDITOR>\n    <VERSION>\n", 0), 0u) << raw.substr(0, 60);
    EXPECT_NE(raw.find("\n    </VERSION>\n"), std::string::npos);
}

TEST(ProjectWrite, TracksPointsEqualisersAndDelays) {
    sxtest::TempDir dir;
    projectFile pf;
    pf.setProjectSampleRate(96000);
    ASSERT_EQ(pf.appendTrack("/music/a.wav"), kProjectOK);
    ASSERT_EQ(pf.appendTrack("/music/b.dsf"), kProjectOK);
    pf.setTrackListName(0, "Piano");
    pf.setTrackListName(1, "Bass");
    // Track 1's points out of order: writing sorts them.
    ASSERT_EQ(pf.appendVolData(0, -6.0f, 96000), kProjectOK);
    ASSERT_EQ(pf.appendVolData(0, 1.0f, 0), kProjectOK);
    ASSERT_EQ(pf.appendPanData(1, -25.0f, 0), kProjectOK);
    tProjectEQParams e0 = makeEq(0), e1 = makeEq(1), em = makeEq(2);
    ASSERT_EQ(pf.setEqParams(0, &e0), kProjectOK);
    ASSERT_EQ(pf.setEqParams(1, &e1), kProjectOK);
    ASSERT_EQ(pf.setEqParams(2, &em), kProjectOK);  // master at the track count
    pf.setDelayTime(0, 480);
    pf.setDelayTime(1, 0);
    const std::string path = dir.file("two.adl");
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);

    QJsonObject root = parseWithPython(dir, path);
    EXPECT_EQ(childTags(root), (QStringList{"VERSION", "PROJECT", "SEQUENCE", "TRACKLIST", "SOURCE_INDEX", "FADER_LIST",
                                            "PAN_LIST", "PEQ", "DELAY"}));
    EXPECT_NE(text(child(root, "SEQUENCE")).indexOf("\t\t(SEQ_SAMPLE_RATE)\tS96000\n\t\t(SEQ_SAMP_RATE_FACTOR)"), -1);
    EXPECT_EQ(text(child(root, "TRACKLIST")), "\n\t(Track) 1 \"Piano\"\n\t(Track) 2 \"Bass\"\n    ");
    QJsonObject src = child(root, "SOURCE_INDEX");
    EXPECT_EQ(childTags(src), (QStringList{"TRACK1", "TRACK2"}));
    EXPECT_EQ(text(child(child(src, "TRACK2"), "FILEPATH")), "/music/b.dsf");

    // 96000 samples at 96 kHz counted at 29.97 frames per second: frame 29
    // of second 0, 3107 samples into it.
    EXPECT_EQ(text(child(root, "FADER_LIST")),
              "\n\t(FP) 1 00.00.00.00|0000 1.00\n\t(FP) 1 00.00.00.29|3107 -6.00\n    ");
    EXPECT_EQ(text(child(root, "PAN_LIST")), "\n\t(PP) 2 00.00.00.00|0000 -25.0\n    ");

    QJsonObject peq = child(root, "PEQ");
    EXPECT_EQ(childTags(peq), (QStringList{"TRACK1", "TRACK2", "TRACK_MASTER"}));
    EXPECT_EQ(text(child(child(peq, "TRACK1"), "ALL")), "false 1.5");
    EXPECT_EQ(text(child(child(peq, "TRACK1"), "EQ1")), "true 100.0 0.5 -3.5 1");
    EXPECT_EQ(text(child(child(peq, "TRACK2"), "ALL")), "true 0.0");
    EXPECT_EQ(text(child(child(peq, "TRACK_MASTER"), "EQ4")), "false 3300.0 2.0 1.5 4");

    QJsonObject delay = child(root, "DELAY");
    EXPECT_EQ(childTags(delay), (QStringList{"TRACK1", "TRACK2"}));
    EXPECT_EQ(text(child(delay, "TRACK1")), "480.0000");
    EXPECT_EQ(text(child(delay, "TRACK2")), "0.0000");
}

TEST(ProjectWrite, AmpersandAndLessThanRoundTrip) {
    sxtest::TempDir dir;
    const QString name = "Drums & <Perc> \"live\"";
    const QString file = "/music/R&B <mix>/take & one.wav";
    projectFile pf;
    ASSERT_EQ(pf.appendTrack(file), kProjectOK);
    pf.setTrackListName(0, name);
    const std::string path = dir.file("esc.adl");
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);

    const std::string raw = readText(path);
    EXPECT_NE(raw.find("R&amp;B &lt;mix>"), std::string::npos) << raw;

    QJsonObject root = parseWithPython(dir, path);
    EXPECT_EQ(text(child(child(child(root, "SOURCE_INDEX"), "TRACK1"), "FILEPATH")), file);
    EXPECT_EQ(text(child(root, "TRACKLIST")), "\n\t(Track) 1 \"" + name + "\"\n    ");

    projectFile back;
    ASSERT_EQ(back.loadProjectFile(QString::fromStdString(path)), 1);
    EXPECT_EQ(back.getTrackFilePath(0), file);
    EXPECT_EQ(back.getTrackListNames().at(0), name);
}

TEST(ProjectWrite, UnwritablePathWritesNothingAndKeepsTheOldFile) {
    sxtest::TempDir dir;
    projectFile pf;
    EXPECT_EQ(pf.saveProjectFile(QString::fromStdString(dir.file("no/such/folder/p.adl"))), kProjectErrIO);

    // An existing project is replaced only by a complete one.
    const std::string path = dir.file("keep.adl");
    writeText(path, "old");
    ASSERT_EQ(pf.appendTrack("/x.wav"), kProjectOK);
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);
    EXPECT_NE(readText(path).find("<FILEPATH>/x.wav</FILEPATH>"), std::string::npos);
    std::vector<std::string> left;
    for (auto &e : std::filesystem::directory_iterator(dir.path())) left.push_back(e.path().filename());
    EXPECT_EQ(left, std::vector<std::string>{"keep.adl"});
}

// ------------------------------------------------------------------ model

TEST(ProjectModel, DeletingATrackRenamesTheLaterEntries) {
    sxtest::TempDir dir;
    projectFile pf;
    for (const char *p : {"/a.wav", "/b.wav", "/c.wav"}) ASSERT_EQ(pf.appendTrack(p), kProjectOK);
    ASSERT_EQ(pf.appendVolData(0, -3.0f, 0), kProjectOK);
    ASSERT_EQ(pf.appendVolData(1, -4.0f, 0), kProjectOK);
    EXPECT_EQ(pf.deleteTrack(0), 2);
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 0);  // emptied at the index
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 1), 1);  // the others stay in place
    EXPECT_EQ(pf.deleteTrack(5), 2);
    EXPECT_EQ(pf.deleteTrack(-1), 2);
    ASSERT_EQ(pf.appendTrack("/d.wav"), kProjectOK);
    const std::string path = dir.file("p.adl");
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);
    QJsonObject src = child(parseWithPython(dir, path), "SOURCE_INDEX");
    ASSERT_EQ(childTags(src), (QStringList{"TRACK1", "TRACK2", "TRACK3"}));
    EXPECT_EQ(text(child(child(src, "TRACK1"), "FILEPATH")), "/b.wav");
    EXPECT_EQ(text(child(child(src, "TRACK2"), "FILEPATH")), "/c.wav");
    EXPECT_EQ(text(child(child(src, "TRACK3"), "FILEPATH")), "/d.wav");
}

TEST(ProjectModel, ParameterFromList) {
    projectFile pf;
    EXPECT_EQ(pf.getParameterFromList(kADLParamLevel, 0, 0), 1.0);
    EXPECT_EQ(pf.getParameterFromList(kADLParamPan, 0, 0), 0.0);
    ASSERT_EQ(pf.appendVolData(0, 0.5f, 0), kProjectOK);
    ASSERT_EQ(pf.appendVolData(0, 0.8f, 1000), kProjectOK);
    ASSERT_EQ(pf.appendPanData(0, 30.0f, 500), kProjectOK);
    struct {
        tADLParam kind;
        int track, position;
        double want;
    } cases[] = {
        {kADLParamLevel, 0, 2000, 0.5},                                // the first point in list order, not the nearest
        {kADLParamLevel, 0, 0, 0.5},    {kADLParamPan, 0, 499, 0.0},   // none at or before
        {kADLParamPan, 0, 500, 30.0},   {kADLParamPan, 0, -1, 30.0},   // compared unsigned: -1 is past every point
        {kADLParamLevel, 1, 0, 1.0},    {kADLParamLevel, 32, 0, 1.0},  // outside the model
        {kADLParamLevel, -1, 0, 1.0},   {2, 0, 2000, 0.0},             // no such list
    };
    for (const auto &c : cases)
        EXPECT_DOUBLE_EQ(pf.getParameterFromList(c.kind, c.track, c.position), c.want)
            << "kind " << c.kind << " track " << c.track << " position " << c.position;
}

TEST(ProjectModel, DeleteAndSortPoints) {
    projectFile pf;
    ASSERT_EQ(pf.appendTrack("/a.wav"), kProjectOK);
    pf.deleteVolData(0, 0);  // empty list: left alone
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 0);
    for (int i = 0; i < 4; ++i) ASSERT_EQ(pf.appendVolData(0, float(i), 400 - 100 * i), kProjectOK);
    pf.deleteVolData(0, 1);   // removes 300, moves the rest down
    pf.deleteVolData(0, 99);  // beyond the end: removes the last (100)
    ASSERT_EQ(pf.pointCount(kADLParamLevel, 0), 2);
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[0].position, 400);
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[1].position, 200);
    pf.sortFadeData();
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[0].position, 200);
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[0].value, 2.0f);
}

TEST(ProjectModel, LimitsAreRefusedNotOverrun) {
    projectFile pf;
    for (int i = 0; i < kProjectMaxTracks; ++i) ASSERT_EQ(pf.appendTrack(QString("/t%1.wav").arg(i)), kProjectOK);
    EXPECT_EQ(pf.appendTrack("/one-too-many.wav"), kProjectErrRange);
    EXPECT_EQ(pf.trackCount(), kProjectMaxTracks);

    for (int i = 0; i < kProjectMaxPoints; ++i) ASSERT_EQ(pf.appendVolData(31, 0.0f, i), kProjectOK);
    EXPECT_EQ(pf.appendVolData(31, 0.0f, 100), kProjectErrRange);
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 31), kProjectMaxPoints);
    EXPECT_EQ(pf.appendVolData(32, 0.0f, 0), kProjectErrRange);
    EXPECT_EQ(pf.appendPanData(-1, 0.0f, 0), kProjectErrRange);

    tProjectEQParams eq = makeEq(3);
    EXPECT_EQ(pf.setEqParams(32, &eq), kProjectOK);  // the master of a full project
    EXPECT_EQ(pf.setEqParams(33, &eq), kProjectErrRange);
    EXPECT_EQ(pf.setEqParams(-1, &eq), kProjectErrRange);
    EXPECT_EQ(pf.getEqParams(33), nullptr);
    ASSERT_NE(pf.getEqParams(32), nullptr);
    expectEqEqual(*pf.getEqParams(32), eq);

    pf.setTrackListName(32, "ignored");
    pf.setTrackListName(-1, "ignored");
    EXPECT_EQ(pf.getTrackListNames().size(), kProjectMaxTracks);
    EXPECT_FALSE(pf.getTrackListNames().contains("ignored"));
    pf.setDelayTime(32, 5);
    EXPECT_EQ(pf.getDelayTime(32), 0.0);

    pf.setProjectSampleRate(0);
    EXPECT_EQ(pf.projectSampleRate(), 44100);
    EXPECT_EQ(pf.getSampleRateIndicator(), "|");
    for (auto [hz, sep] : {std::pair<int, const char *>{48000, "/"}, {88200, "@"}, {96000, "*"}, {192000, "|"}}) {
        pf.setProjectSampleRate(hz);
        EXPECT_EQ(pf.getSampleRateIndicator(), sep) << hz;
    }

    // A full project still writes and reads back whole.
    sxtest::TempDir dir;
    const std::string path = dir.file("full.adl");
    ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);
    projectFile back;
    EXPECT_EQ(back.loadProjectFile(QString::fromStdString(path)), kProjectMaxTracks);
    EXPECT_EQ(back.pointCount(kADLParamLevel, 31), kProjectMaxPoints);
    expectEqEqual(*back.getEqParams(32), eq);
}

// ------------------------------------------------------------------ reading

TEST(ProjectRead, RoundTripRestoresTheModel) {
    sxtest::TempDir dir;
    const int rates[] = {44100, 48000, 96000, 192000};
    // Positions across frames, seconds and hours.
    const int positions[] = {0, 1, 1469, 1471, 44099, 48000, 96000, 1234567, 30000001, 158759780};
    for (int rate : rates) {
        projectFile pf;
        pf.setProjectSampleRate(rate);
        ASSERT_EQ(pf.appendTrack("/a.wav"), kProjectOK);
        ASSERT_EQ(pf.appendTrack("/b.wav"), kProjectOK);
        pf.setTrackListName(1, "Second");
        for (int p : positions) {
            ASSERT_EQ(pf.appendVolData(0, -0.25f * (p % 7), p), kProjectOK);
            ASSERT_EQ(pf.appendPanData(1, float(p % 201 - 100), p), kProjectOK);
        }
        tProjectEQParams e0 = makeEq(4), e1 = makeEq(5), em = makeEq(6);
        ASSERT_EQ(pf.setEqParams(0, &e0), kProjectOK);
        ASSERT_EQ(pf.setEqParams(1, &e1), kProjectOK);
        ASSERT_EQ(pf.setEqParams(2, &em), kProjectOK);
        pf.setDelayTime(0, 12);
        pf.setDelayTime(1, 4410);
        const std::string path = dir.file("rt" + std::to_string(rate) + ".adl");
        ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);

        // A fresh model, at the default rate, reads the file's positions
        // back at the rate the file was written at.
        projectFile back;
        ASSERT_EQ(back.loadProjectFile(QString::fromStdString(path)), 2) << rate;
        EXPECT_EQ(back.trackCount(), 0);  // tracks come back as the sources are opened
        EXPECT_EQ(back.getTrackFilePath(0), "/a.wav");
        EXPECT_EQ(back.getTrackFilePath(1), "/b.wav");
        EXPECT_EQ(back.getTrackFilePath(2), "");
        EXPECT_EQ(back.getTrackListNames().at(0), "");
        EXPECT_EQ(back.getTrackListNames().at(1), "Second");
        ASSERT_EQ(back.pointCount(kADLParamLevel, 0), int(std::size(positions)));
        ASSERT_EQ(back.pointCount(kADLParamPan, 1), int(std::size(positions)));
        // The timecode's sample offset is truncated, so now and then two
        // neighbouring samples share one timecode text; such a point reads
        // back as the first of them. Every other point reads back exactly.
        for (size_t i = 0; i < std::size(positions); ++i) {
            EXPECT_LE(std::llabs(back.points(kADLParamLevel, 0)[i].position - positions[i]), 1)
                << rate << " " << positions[i];
            EXPECT_EQ(back.points(kADLParamLevel, 0)[i].position, back.points(kADLParamPan, 1)[i].position);
            EXPECT_FLOAT_EQ(back.points(kADLParamLevel, 0)[i].value, -0.25f * (positions[i] % 7));
            EXPECT_FLOAT_EQ(back.points(kADLParamPan, 1)[i].value, float(positions[i] % 201 - 100));
        }
        EXPECT_EQ(back.points(kADLParamLevel, 0)[0].position, 0);
        EXPECT_EQ(back.pointCount(kADLParamLevel, 1), 0);
        expectEqEqual(*back.getEqParams(0), e0);
        expectEqEqual(*back.getEqParams(1), e1);
        expectEqEqual(*back.getEqParams(2), em);
        EXPECT_EQ(back.getDelayTime(0), 12.0);
        EXPECT_EQ(back.getDelayTime(1), 4410.0);

        // Written again, the loaded model gives the same file.
        back.setProjectSampleRate(rate);
        for (int t = 0; t < back.loadedSourceCount(); ++t)
            ASSERT_EQ(back.appendTrack(back.getTrackFilePath(t)), kProjectOK);
        const std::string again = dir.file("again" + std::to_string(rate) + ".adl");
        ASSERT_EQ(back.saveProjectFile(QString::fromStdString(again)), kProjectOK);
        EXPECT_EQ(readText(again), readText(path)) << rate;
    }
}

TEST(ProjectRead, WriterFormIsReadAsTheInverseOfTheWriter) {
    // Every position of the first 20 seconds at 48 kHz: the point read back
    // writes the same timecode text, and is the first sample that does.
    projectFile pf;
    pf.setProjectSampleRate(48000);
    ASSERT_EQ(pf.appendTrack("/a.wav"), kProjectOK);
    sxtest::TempDir dir;
    const std::string path = dir.file("p.adl");
    const int kSpan = 20 * 48000;
    const int kStep = 97;  // 97 points per file, 100 at most per list
    int early = 0;
    for (int base = 0; base < kSpan; base += kStep * kProjectMaxPoints) {
        pf.clearVolData(0);
        for (int i = 0; i < kProjectMaxPoints; ++i)
            ASSERT_EQ(pf.appendVolData(0, 0.0f, base + i * kStep + base / 7 % kStep), kProjectOK);
        ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);
        const QString written = pf.faderListText();
        std::vector<int64_t> wantPos;
        for (int i = 0; i < kProjectMaxPoints; ++i) wantPos.push_back(pf.points(kADLParamLevel, 0)[i].position);

        projectFile back;
        ASSERT_EQ(back.loadProjectFile(QString::fromStdString(path)), 1);
        ASSERT_EQ(back.pointCount(kADLParamLevel, 0), kProjectMaxPoints);
        back.setProjectSampleRate(48000);
        ASSERT_EQ(back.appendTrack("/a.wav"), kProjectOK);
        for (int i = 0; i < kProjectMaxPoints; ++i) {
            int64_t got = back.points(kADLParamLevel, 0)[i].position;
            ASSERT_TRUE(got == wantPos[i] || got == wantPos[i] - 1) << wantPos[i] << " read as " << got;
            early += got != wantPos[i];
        }
        back.createProjectFile();
        ASSERT_EQ(back.faderListText(), written);
    }
    // The shared texts are rare (a few in ten thousand).
    EXPECT_LT(early, 10);
}

TEST(ProjectRead, LoadingTwiceGivesTheSameModel) {
    sxtest::TempDir dir;
    const std::string path = dir.file("p.adl");
    {
        projectFile pf;
        ASSERT_EQ(pf.appendTrack("/a.wav"), kProjectOK);
        ASSERT_EQ(pf.appendVolData(0, -6.0f, 0), kProjectOK);
        ASSERT_EQ(pf.appendPanData(0, 10.0f, 0), kProjectOK);
        pf.setTrackListName(0, "A");
        ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(path)), kProjectOK);
    }
    projectFile pf;
    ASSERT_EQ(pf.appendTrack("/stale.wav"), kProjectOK);
    pf.setTrackListName(5, "stale");
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(pf.loadProjectFile(QString::fromStdString(path)), 1) << round;
        EXPECT_EQ(pf.trackCount(), 0);
        EXPECT_EQ(pf.getTrackFilePath(0), "/a.wav");
        EXPECT_EQ(pf.getTrackListNames().at(0), "A");
        EXPECT_EQ(pf.getTrackListNames().at(5), "");
        EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 1) << round;
        EXPECT_EQ(pf.pointCount(kADLParamPan, 0), 1) << round;
        EXPECT_EQ(pf.getParameterFromList(kADLParamLevel, 0, 0), -6.0);
        EXPECT_EQ(pf.getParameterFromList(kADLParamPan, 0, 0), 10.0);
    }
}

TEST(ProjectRead, SourcesNamesEqualisersAndDelaysAsListed) {
    sxtest::TempDir dir;
    const std::string path = dir.file("p.adl");
    writeText(path, adl("<TRACKLIST>\n\t(Track) 2 \"Second\"\n\t(Track) 33 \"Beyond\"\n"
                        "\t(Track) 0 \"Zero\"\n\t(Track) 1 no quotes\n\t(Track)\n    </TRACKLIST>\n" +
                        sourceIndex({1, 3}) +
                        "<PEQ><TRACK1><ALL>true</ALL><EQ1>true 50.0 0.7 3.0 2</EQ1>"
                        "<EQ2>true 60.0</EQ2></TRACK1>"
                        "<TRACK_MASTER><ALL>true 9.0</ALL></TRACK_MASTER></PEQ>\n"
                        "<DELAY><TRACK1>10.5</TRACK1><TRACK2>junk</TRACK2></DELAY>\n"));
    projectFile pf;
    tProjectEQParams before = makeEq(7);
    before.allOn = false;
    ASSERT_EQ(pf.setEqParams(0, &before), kProjectOK);
    ASSERT_EQ(pf.setEqParams(2, &before), kProjectOK);

    // Sources 1 and 3: two, in that order.
    ASSERT_EQ(pf.loadProjectFile(QString::fromStdString(path)), 2);
    EXPECT_EQ(pf.getTrackFilePath(0), "/music/t1.wav");
    EXPECT_EQ(pf.getTrackFilePath(1), "/music/t3.wav");

    QStringList names = pf.getTrackListNames();
    ASSERT_EQ(names.size(), 32);
    EXPECT_EQ(names.at(0), "");  // "(Track) 1" without a quoted name is skipped
    EXPECT_EQ(names.at(1), "Second");
    EXPECT_EQ(names.count(""), 31);

    // Track 1: "ALL" of "true" alone keeps the gain; EQ2 with too few items
    // keeps its band. There is no TRACK2, so the step ends there and the
    // master (TRACK_MASTER, record 2) is not read.
    const tProjectEQParams *e0 = pf.getEqParams(0);
    EXPECT_TRUE(e0->allOn);
    EXPECT_DOUBLE_EQ(e0->allGain, before.allGain);
    EXPECT_TRUE(e0->band[0].on);
    EXPECT_DOUBLE_EQ(e0->band[0].freq, 50.0);
    EXPECT_DOUBLE_EQ(e0->band[0].q, 0.7);
    EXPECT_DOUBLE_EQ(e0->band[0].gain, 3.0);
    EXPECT_EQ(e0->band[0].type, 2);
    EXPECT_DOUBLE_EQ(e0->band[1].freq, before.band[1].freq);
    expectEqEqual(*pf.getEqParams(2), before);

    EXPECT_DOUBLE_EQ(pf.getDelayTime(0), 10.5);
    EXPECT_DOUBLE_EQ(pf.getDelayTime(1), 0.0);  // malformed reads as 0
}

TEST(ProjectRead, PointLinesShortMalformedAndBeyondTheModel) {
    sxtest::TempDir dir;
    std::string fader =
        "<FADER_LIST>\n"
        "\t(FP) 1\n"  // short: skipped
        "\t(FP)\n"
        "\t(FP) 1 00.00.00.00|0000\n"       // no value: skipped
        "\t(FP) x 00.00.00.00|0000 1.00\n"  // track 0: illegal
        "\t(FP) 0 00.00.00.00|0000 1.00\n"
        "\t(FP) 33 00.00.00.00|0000 1.00\n"  // beyond 32: ignored
        "\t(FP) 99999999999999 00.00.00.00|0000 1.00\n"
        "\t(FP) 2 00.00.00.00|0000 abc\n"           // value reads as 0
        "\t(FP) 2 garbage -1.50\n"                  // position reads as 0
        "\t(FP)  3   00.00.01.00|0000   -2.00  \n"  // extra blanks are fine
        "\t(PP) 1 00.00.00.00|0000 5.0\n";          // not a fader line
    for (int i = 0; i < 150; ++i) fader += "\t(FP) 4 00.00.00.00|0000 " + std::to_string(i) + ".00\n";
    fader += "    </FADER_LIST>\n";
    const std::string path = dir.file("p.adl");
    writeText(path, adl(fader + "<PAN_LIST>\n\t(PP) 1 00.00.00.00|0000 5.0\n\t(PP) 1\n    </PAN_LIST>\n"));

    projectFile pf;
    ASSERT_EQ(pf.loadProjectFile(QString::fromStdString(path)), 0);
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 0);
    ASSERT_EQ(pf.pointCount(kADLParamLevel, 1), 2);
    EXPECT_EQ(pf.points(kADLParamLevel, 1)[0].value, 0.0f);
    EXPECT_EQ(pf.points(kADLParamLevel, 1)[1].position, 0);
    EXPECT_EQ(pf.points(kADLParamLevel, 1)[1].value, -1.5f);
    ASSERT_EQ(pf.pointCount(kADLParamLevel, 2), 1);
    // The writer's form counts 29.97 frames per second: 00.00.01.00 is
    // frame 30, which starts at sample 44145 at the default rate.
    EXPECT_EQ(pf.points(kADLParamLevel, 2)[0].position, 44145);
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 3), kProjectMaxPoints);
    EXPECT_EQ(pf.points(kADLParamLevel, 3)[99].value, 99.0f);
    ASSERT_EQ(pf.pointCount(kADLParamPan, 0), 1);
    EXPECT_EQ(pf.points(kADLParamPan, 0)[0].value, 5.0f);
}

TEST(ProjectRead, TimecodeTexts) {
    projectFile pf;
    pf.setProjectSampleRate(96000);
    struct {
        const char *tcf;
        int h, m, s, f, frameCount, timeBase, nonDrop, rate, factor, samples, frameType;
    } cases[] = {
        {"01:02:03;04/0480", 1, 2, 3, 4, 30, 1001, 0, 48000, 2, 240, 3},   // 29.97 drop-frame
        {"01:02:03:04/0480", 1, 2, 3, 4, 30, 1001, 1, 48000, 2, 240, 4},   // 29.97 non-drop
        {"00.00.00.00|0000", 0, 0, 0, 0, 25, 1000, 1, 44100, 2, 0, 2},     // the writer's own form
        {"00|00|00,10*0100", 0, 0, 0, 10, 30, 1000, 0, 96000, 1, 100, 5},  // 30 drop-frame
        {"00?00?00.10@0088", 0, 0, 0, 10, 30, 1000, 1, 88200, 1, 88, 6},
        {"00=00=00.10|0010", 0, 0, 0, 10, 24, 1000, 1, 44100, 2, 5, 1},
        {"00-00-00,10|0010", 0, 0, 0, 10, 24, 1001, 0, 44100, 2, 5, 0},
        {"00!00!00.10|0010", 0, 0, 0, 10, 25, 1000, 1, 44100, 2, 5, 2},
        {"00/00/00;10|0010", 0, 0, 0, 10, 25, 1001, 0, 44100, 2, 5, 2},
        {"00x00x00x10x0010", 0, 0, 0, 10, 30, 1000, 0, 44100, 2, 5, 5},  // unknown separators
        {"7", 7, 0, 0, 0, 30, 1000, 0, 44100, 2, 0, 5},                  // short text
        {"ab:cd:ef;gh/zz", 0, 0, 0, 0, 30, 1001, 0, 48000, 2, 0, 3},     // not numbers
        {"", 0, 0, 0, 0, 30, 1000, 0, 44100, 2, 0, 5},
    };
    for (const auto &c : cases) {
        tTimecodeTcf t;
        pf.getTimecodeFromTcf(c.tcf, &t);
        EXPECT_EQ(t.hours, c.h) << c.tcf;
        EXPECT_EQ(t.minutes, c.m) << c.tcf;
        EXPECT_EQ(t.seconds, c.s) << c.tcf;
        EXPECT_EQ(t.frames, c.f) << c.tcf;
        EXPECT_EQ(t.frameCount, c.frameCount) << c.tcf;
        EXPECT_EQ(t.timeBase, c.timeBase) << c.tcf;
        EXPECT_EQ(t.nonDrop, c.nonDrop) << c.tcf;
        EXPECT_EQ(t.sampleRate, c.rate) << c.tcf;
        EXPECT_EQ(t.rateFactor, c.factor) << c.tcf;
        EXPECT_EQ(t.samples, c.samples) << c.tcf;
        EXPECT_EQ(t.frameType, c.frameType) << c.tcf;
    }
    // A project rate below the TCF rate keeps the samples whole.
    pf.setProjectSampleRate(44100);
    tTimecodeTcf t;
    pf.getTimecodeFromTcf("00:00:00;00/0480", &t);
    EXPECT_EQ(t.rateFactor, 1);
    EXPECT_EQ(t.samples, 480);
    EXPECT_EQ(projectFile::getFrameType(30, 1001, 1), 4);
    EXPECT_EQ(projectFile::getFrameType(24, 1001, 0), 0);
}

TEST(ProjectRead, OtherTimecodeFormsGiveSecondsPlusSamples) {
    // Forms other than the writer's own: whole seconds at the project rate
    // plus the sample field divided by the rate factor; frames do not count.
    sxtest::TempDir dir;
    const std::string path = dir.file("p.adl");
    writeText(path, adl("<SEQUENCE>\n\t\t(SEQ_SAMPLE_RATE)\tS96000\n    </SEQUENCE>\n"
                        "<FADER_LIST>\n\t(FP) 1 00:00:02;15/0480 -1.00\n"
                        "\t(FP) 1 01:00:00:00|0000 -2.00\n    </FADER_LIST>\n"));
    projectFile pf;
    pf.setProjectSampleRate(96000);
    ASSERT_EQ(pf.loadProjectFile(QString::fromStdString(path)), 0);
    ASSERT_EQ(pf.pointCount(kADLParamLevel, 0), 2);
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[0].position, 2 * 96000 + 240);
    EXPECT_EQ(pf.points(kADLParamLevel, 0)[1].position, int64_t(3600) * 96000);
}

TEST(ProjectRead, DamagedFilesGiveNothingAndNeverCrash) {
    sxtest::TempDir dir;
    const std::string good = dir.file("good.adl");
    {
        projectFile pf;
        ASSERT_EQ(pf.appendTrack("/a.wav"), kProjectOK);
        ASSERT_EQ(pf.appendTrack("/b.wav"), kProjectOK);
        pf.setTrackListName(0, "A");
        ASSERT_EQ(pf.appendVolData(0, -3.0f, 0), kProjectOK);
        pf.setDelayTime(1, 7);
        ASSERT_EQ(pf.saveProjectFile(QString::fromStdString(good)), kProjectOK);
    }
    const std::string body = readText(good);

    // Every truncation of the XML fails to parse: the load yields nothing
    // and leaves the equaliser records alone.
    const tProjectEQParams marker = makeEq(9);
    auto expectEmptyLoad = [&](const std::string &file, const std::string &what) {
        projectFile pf;
        ASSERT_EQ(pf.appendTrack("/stale.wav"), kProjectOK);
        ASSERT_EQ(pf.appendVolData(0, 1.0f, 0), kProjectOK);
        pf.setTrackListName(0, "stale");
        pf.setDelayTime(0, 99);
        ASSERT_EQ(pf.setEqParams(0, &marker), kProjectOK);
        EXPECT_EQ(pf.loadProjectFile(QString::fromStdString(file)), 0) << what;
        EXPECT_EQ(pf.trackCount(), 0) << what;
        EXPECT_EQ(pf.getTrackFilePath(0), "") << what;
        EXPECT_EQ(pf.getTrackListNames().count(""), 32) << what;
        EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 0) << what;
        EXPECT_EQ(pf.getDelayTime(0), 0.0) << what;
        expectEqEqual(*pf.getEqParams(0), marker);
    };
    for (size_t cut : {size_t(0), size_t(1), size_t(13), body.size() / 3, body.size() / 2, body.size() - 3}) {
        const std::string f = dir.file("cut" + std::to_string(cut) + ".adl");
        writeText(f, body.substr(0, cut));
        expectEmptyLoad(f, "cut at " + std::to_string(cut));
    }
    expectEmptyLoad(dir.file("missing.adl"), "missing file");
    expectEmptyLoad(dir.path(), "a folder");
    const std::string other = dir.file("other.adl");
    writeText(other, "<OTHERROOT><SOURCE_INDEX><TRACK1><FILEPATH>/x</FILEPATH></TRACK1></SOURCE_INDEX></OTHERROOT>");
    expectEmptyLoad(other, "wrong root");
    const std::string huge = dir.file("huge.adl");
    {
        std::string big = body;
        big.insert(big.find("</SONVEXEDITOR>"), std::string(size_t(kProjectFileMaxBytes), ' '));
        writeText(huge, big);
    }
    expectEmptyLoad(huge, "oversized");

    // Sections missing: only what is there is read.
    std::string noSources = body;
    noSources.erase(noSources.find("    <SOURCE_INDEX>"),
                    noSources.find("</SOURCE_INDEX>") + 16 - noSources.find("    <SOURCE_INDEX>"));
    const std::string f1 = dir.file("nosources.adl");
    writeText(f1, noSources);
    projectFile pf;
    EXPECT_EQ(pf.loadProjectFile(QString::fromStdString(f1)), 0);
    EXPECT_EQ(pf.getTrackListNames().at(0), "A");
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 1);
    EXPECT_EQ(pf.getDelayTime(1), 0.0);  // delays follow the sources found

    // Absurd numbers and counts.
    std::string absurd = "<SOURCE_INDEX>";
    for (int n = 1; n <= 2000; ++n)
        absurd += "<TRACK" + std::to_string(n) + "><FILEPATH>/p" + std::to_string(n) + "</FILEPATH></TRACK" +
                  std::to_string(n) + ">";
    absurd += "<TRACK-1/><TRACK99999999999999999999/></SOURCE_INDEX>\n<TRACKLIST>\n";
    absurd += "\t(Track) 99999999999999999999 \"x\"\n\t(Track) -5 \"y\"\n\t(Track) 3 \"\n";
    absurd +=
        "    </TRACKLIST>\n<FADER_LIST>\n\t(FP) 1 99:99:99;99/99999999999999999999 1.0\n"
        "\t(FP) 1 -9.-9.-9.-9|-999 2.0\n\t(FP) 1 23.59.59.29|99999999 3.0\n    </FADER_LIST>\n"
        "<DELAY><TRACK1>1e400</TRACK1></DELAY>\n";
    const std::string f2 = dir.file("absurd.adl");
    writeText(f2, adl(absurd));
    EXPECT_EQ(pf.loadProjectFile(QString::fromStdString(f2)), kProjectMaxTracks);
    EXPECT_EQ(pf.getTrackFilePath(31), "/p32");
    EXPECT_EQ(pf.getTrackListNames().count(""), 32);
    EXPECT_EQ(pf.pointCount(kADLParamLevel, 0), 3);
    EXPECT_EQ(pf.getDelayTime(0), 0.0);  // an overflowing number reads as 0
}

TEST(ProjectRead, LoaderTraces) {
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    DebugClient::Shutdown();
    const uint16_t oldPort = DebugClient::sPort;
    DebugClient::sPort = server.serverPort();
    DebugClient::sDebugLevel = 15;

    sxtest::TempDir dir;
    const std::string path = dir.file("p.adl");
    writeText(path, adl("<FADER_LIST>\n\t(FP) 0 00.00.00.00|0000 1.00\n    </FADER_LIST>\n"
                        "<PAN_LIST>\n\t(PP) 0 00.00.00.00|0000 1.0\n    </PAN_LIST>\n"));
    projectFile pf;
    EXPECT_EQ(pf.loadProjectFile(QString::fromStdString(path)), 0);
    DebugClient::Shutdown();  // writes what is queued
    DebugClient::sDebugLevel = 0;
    DebugClient::sPort = oldPort;

    ASSERT_TRUE(server.waitForNewConnection(3000));
    QTcpSocket *s = server.nextPendingConnection();
    QByteArray got;
    while (s->waitForReadyRead(500)) got += s->readAll();
    got += s->readAll();
    EXPECT_TRUE(got.contains("\tFaderList Number =3")) << got.toStdString();
    EXPECT_TRUE(got.contains("\t(FP) 0 00.00.00.00|0000 1.00")) << got.toStdString();
    EXPECT_TRUE(got.contains("\tLoading Project : Track Number illegal.")) << got.toStdString();
    EXPECT_TRUE(got.contains("\tLoading Project : Track Number illegal..")) << got.toStdString();
    EXPECT_TRUE(got.contains("\tMAIN\t10\tprojectfile.cpp\t")) << got.toStdString();
}

int main(int argc, char **argv) {
    // The model is a widget: it needs the application object. No window is
    // shown, so the offscreen platform serves when no display is named.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Traces only in the test that listens for them.
    DebugClient::sDebugLevel = 0;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
