// What the mixer strips show and how they read what the user types: level
// and pan texts, typed levels and pans, the peak-frequency read-out, the
// channel-pair lists and the channel pictures.
//
// Pure functions, shared by the channel and master strips.
#pragma once

#include <QString>
#include <QStringList>

constexpr int kStripPanMax = 100;  // pans run −100 (left) .. +100 (right)
constexpr float kStripLevelMaxDb = 6.0f;
constexpr float kStripLevelMinDb = -120.0f;
constexpr float kStripLevelUnreadableDb = -16.0f;  // what a level that is not a number reads as

// A level in dB with one decimal, clamped to −120..+6 ("-3.5", "6.0"). The
// fader's 0 dB step holds −0.0; it and anything that rounds to zero shows
// "0.0", never "-0.0".
QString strip_levelText(float dB);

// A typed level: the text as a number, −16 dB when it is not one (NaN
// included), held within −120..+6.
float strip_parseLevel(const QString &text);

// A pan as shown: clamped to −100..+100, "L" and the magnitude left of
// centre, "C" at the centre, "R" and the value right of it.
QString strip_panText(int pan);

// A typed pan. The first character chooses the side: '+', 'R' or 'r' right,
// '-', 'L' or 'l' left (the character is dropped), a digit right (kept);
// anything else, and an empty field, gives the centre. The rest is read as a
// decimal integer (0 when it is not one or does not fit an int), held
// within −100..+100 and given the side's sign: "L20" and "-20" give −20,
// "R-30" gives −30, "l150" −100, "x5" 0.
int strip_parsePan(const QString &text);

// The pan of a pan-knob position x on a track w pixels wide:
// x·200/(w − 16) − 100 in integers, truncating; 0 for a track too narrow to
// move the knob.
int strip_panAtPosition(int x, int width);

// The shown peak frequency, a multiple of 10 Hz: (trunc(hz) + 5)/10·10 in
// integers, truncating (1234.9 → 1230, 1235 → 1240, −12 → 0). Values beyond
// ±10^9 Hz are held there and NaN reads 0, so the conversion stays defined.
int strip_peakFreq(float hz);

// "Ch 1-2", "Ch 3-4", ...: one item per pair starting at channel 1, 3, 5...
// With `wholePairsOnly` a pair is listed only when both its channels exist
// (the master's outputs: 5 channels give two pairs); without it a pair is
// listed whenever its first channel exists (the inputs: 5 channels give
// three pairs, the last Ch 5-6). Nothing for counts below 1 (or 2).
QStringList strip_pairItems(int channels, bool wholePairsOnly);

// The channel picture of a strip: tracks 0..3 the four equaliser band
// points, 4..31 ":resources2/parts/point_chN.png" with N = track + 1 (the
// bundle holds 5 to 8 only, so later tracks show no picture), any other
// number the blue handle.
QString strip_channelPicture(int track);
