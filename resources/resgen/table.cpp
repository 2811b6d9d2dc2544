#include "table.h"

namespace {

const QString P = QStringLiteral("resources2/parts/");
const QString BG = QStringLiteral("resources2/bg/");
const QString JPG = QStringLiteral("jpgData/");

// Ratio sets of the track view: suffix before ".png" and scale. The cursor's
// 2.25 member is named without the "x".
struct tRatio {
    const char *handleSuffix;
    const char *cursorSuffix;
    double scale;
};
const tRatio kViewRatios[] = {
    {"@1.25x", "@1.25x", 1.25}, {"@1.5x", "@1.5x", 1.5}, {"@1.75x", "@1.75x", 1.75}, {"@2x", "@2x", 2.0},
    {"@2.25x", "@2.25", 2.25},  {"@2.5x", "@2.5x", 2.5}, {"@2.75x", "@2.75x", 2.75}, {"@3x", "@3x", 3.0},
    {"@3.5x", "@3.5x", 3.5},    {"@4x", "@4x", 4.0},
};

class Table {
public:
    std::vector<tPicture> rows;

    void add(const QString &path, int w, int h, tRecipe r, bool disabled = false, double scale = 1.0) {
        rows.push_back({path, w, h, scale, disabled, std::move(r)});
    }
    // Normal, held (pressed) and disabled pictures of a style-sheet button.
    void sheetButton(const QString &stem, const QString &normal, const QString &held, const QString &disable, int w,
                     int h, const std::function<tRecipe(bool held)> &r) {
        add(P + stem + normal + ".png", w, h, r(false));
        add(P + stem + held + ".png", w, h, r(true));
        add(P + stem + disable + ".png", w, h, r(false), true);
    }
};

}  // namespace

std::vector<tPicture> resgen_pictures() {
    Table t;
    using F = tFace;

    // ---- style-sheet buttons
    t.sheetButton("SetPoint-button", "_off", "_on", "_disable", 110, 23, [](bool held) { return draw_setPoint(held); });
    t.add(P + "blackButton.png", 52, 25, draw_plainButton(QColor(30, 34, 46), QColor(62, 70, 90), false, 3));
    t.sheetButton("button_control-panel", "_off", "_on", "_disable", 50, 27,
                  [](bool held) { return draw_plainButton(QColor(196, 200, 210), QColor(236, 238, 244), held, 3); });
    t.sheetButton("scrol_p", "_off", "_on", "_disable", 16, 16, [](bool held) { return draw_zoom(true, held); });
    t.sheetButton("scrol_m", "_off", "_on", "_disable", 16, 16, [](bool held) { return draw_zoom(false, held); });
    t.add(P + "grayDownArrow.png", 10, 6, draw_downArrow());

    // transport: off, on (checked), off-on (pressed), onon (pressed and checked), disable
    struct Transport {
        const char *stem;
        const char *glyph;
        int w, h;
        QColor lit;
        bool checkable;
    };
    const Transport transport[] = {
        {"Operation-play", "play", 45, 35, pal::ledGreen, true},
        {"Operation-stop", "stop", 33, 34, pal::ledBlue, false},
        {"Operation-top", "top", 52, 36, pal::ledBlue, false},
        {"Operation-rec", "rec", 32, 32, pal::ledRed, true},
    };
    for (const Transport &b : transport) {
        const QString s = P + b.stem;
        t.add(s + "_off.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::off));
        t.add(s + "_disable.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::off), true);
        if (b.checkable) {
            t.add(s + "_on.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::on));
            t.add(s + "_off-on.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::offHeld));
            t.add(s + "_onon.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::onHeld));
        } else {
            // a plain key: "_on" is its pressed picture
            t.add(s + "_on.png", b.w, b.h, draw_transport(b.glyph, b.lit, F::onHeld));
        }
    }

    // mixer strip buttons
    struct Strip {
        const char *stem;
        const char *label;
        QColor lit;
    };
    const Strip strip[] = {
        {"mute", "MUTE", pal::ledOrange}, {"solo", "SOLO", pal::ledYellow}, {"rec", "REC", pal::ledRed}};
    for (const Strip &b : strip) {
        const QString s = P + b.stem;
        t.add(s + "-OFF.png", 84, 27, draw_stripButton(b.label, b.lit, F::off));
        t.add(s + "-ON.png", 84, 27, draw_stripButton(b.label, b.lit, F::on));
        t.add(s + "-OFF-holdOn.png", 84, 27, draw_stripButton(b.label, b.lit, F::offHeld));
        t.add(s + "-ON-holdOn.png", 84, 27, draw_stripButton(b.label, b.lit, F::onHeld));
    }
    t.add(P + "edit_rec-OFF.png", 21, 21, draw_editState("R", pal::ledRed));
    t.add(P + "edit_solo-OFF.png", 21, 21, draw_editState("S", pal::ledYellow));
    t.add(P + "edit_mute-OFF.png", 21, 21, draw_editState("M", pal::ledOrange));

    // ---- lamps and switches (the monitor lamp's pictures stay out of the bundle)
    t.add(P + "EQ_button-on.png", 84, 31, draw_lamp("EQ", pal::ledBlue, true));
    t.add(P + "EQ_button-off.png", 84, 31, draw_lamp("EQ", pal::ledBlue, false));
    t.add(P + "FX_button-on.png", 84, 31, draw_lamp("FX", pal::ledAmber, true));
    t.add(P + "FX_button-off.png", 84, 31, draw_lamp("FX", pal::ledAmber, false));
    t.add(P + "FXsend_button-on.png", 84, 31, draw_lamp("FX SEND", pal::ledAmber, true));
    t.add(P + "FXsend_button-off.png", 84, 31, draw_lamp("FX SEND", pal::ledAmber, false));
    t.add(P + "reverb_button-off.png", 84, 31, draw_lamp("REVERB", pal::ledAmber, false));
    t.add(P + "stereoMode.png", 80, 22, draw_modeSwitch("STEREO", false));
    t.add(P + "multiTrack.png", 80, 22, draw_modeSwitch("MULTI TRACK", true));
    t.add(P + "vsaOff.png", 99, 99, draw_powerSwitch("VSA", false));
    t.add(P + "vsaOn.png", 99, 99, draw_powerSwitch("VSA", true));
    t.add(JPG + "oscOn.png", 91, 71, draw_bigLamp("OSC", "ON", pal::ledGreen, true));
    t.add(JPG + "oscOff.png", 91, 71, draw_bigLamp("OSC", "OFF", pal::ledGreen, false));
    t.add(JPG + "eqOn.png", 91, 71, draw_bigLamp("EQ", "ON", pal::ledBlue, true));
    t.add(JPG + "eqOff.png", 91, 71, draw_bigLamp("EQ", "OFF", pal::ledBlue, false));
    t.add(JPG + "inMoniOn.png", 101, 61, draw_bigLamp("MONITOR", "INPUT", pal::ledOrange, true));
    t.add(JPG + "inMoniOff.png", 101, 61, draw_bigLamp("MONITOR", "INPUT", pal::ledOrange, false));

    // ---- equaliser window
    t.add(P + "button-ON.png", 85, 25, draw_onOffButton(true));
    t.add(P + "button-ON_disable.png", 85, 25, draw_onOffButton(true), true);
    t.add(P + "button-OFF_disable.png", 85, 25, draw_onOffButton(false), true);
    for (const char *kind : {"Peak", "Shelf", "LF"}) {
        const QString s = P + "TYPE-" + kind;
        t.add(s + "_on.png", 45, 35, draw_eqType(kind, true));
        t.add(s + "_off.png", 45, 35, draw_eqType(kind, false));
        t.add(s + "_on_disable.png", 45, 35, draw_eqType(kind, true), true);
        t.add(s + "_off_disable.png", 45, 35, draw_eqType(kind, false), true);
    }
    t.add(P + "Area_on.png", 56, 17, draw_field(true));
    t.add(P + "Area_off.png", 56, 17, draw_field(false));
    t.add(P + "Dial_on.png", 64, 64, draw_dial(true));
    t.add(P + "Dial_off.png", 64, 64, draw_dial(false));
    t.add(P + "Dial_point.png", 11, 11, draw_dialPoint());
    // band points of the graph (and the strips' channel pictures), 1x and @2x
    static const char *states[3] = {"-off", "-on", "-onon"};
    for (int band = 0; band < 4; ++band)
        for (int st = 0; st < 3; ++st) {
            const QString stem = P + QString("point_eq_%1").arg(band + 1) + states[st];
            const tRecipe r = draw_numberPoint(QString::number(band + 1), pal::eqBand[band], st);
            t.add(stem + ".png", 24, 24, r);
            t.add(stem + "@2x.png", 24, 24, r, false, 2.0);
        }
    // channel pictures of tracks 5 to 8; tracks 9 and up have none
    const QColor chColour[4] = {QColor(0, 176, 206), QColor(224, 64, 146), QColor(128, 190, 0), pal::ledOrange};
    for (int ch = 5; ch <= 8; ++ch)
        t.add(P + QString("point_ch%1.png").arg(ch), 24, 24,
              draw_numberPoint(QString::number(ch), chColour[ch - 5], 1));

    // ---- faders and knobs
    t.add(P + "volume_off.png", 16, 16, draw_knob(false));
    t.add(P + "volume_on.png", 16, 16, draw_knob(true));
    t.add(BG + "faderBack.png", 31, 141, draw_faderBack());
    t.add(BG + "panBack.png", 61, 20, draw_panBack());

    // ---- track view, in every device pixel ratio it asks for
    t.add(P + "point_BlueFlat_off.png", 20, 20, draw_handle(false));
    t.add(P + "point_BlueFlat_on.png", 20, 20, draw_handle(true));
    t.add(P + "playCursor.png", 12, 184, draw_playCursor());
    for (const tRatio &q : kViewRatios) {
        t.add(P + "point_BlueFlat_off" + q.handleSuffix + ".png", 20, 20, draw_handle(false), false, q.scale);
        t.add(P + "point_BlueFlat_on" + q.handleSuffix + ".png", 20, 20, draw_handle(true), false, q.scale);
        t.add(P + "playCursor" + q.cursorSuffix + ".png", 12, 184, draw_playCursor(), false, q.scale);
    }

    // ---- reverb room, tag editor, menu icon
    t.add(P + "piano.png", 32, 35, draw_piano());
    t.add(P + "mic.png", 32, 32, draw_mic());
    t.add(P + "NoPhoto.png", 128, 128, draw_noPhoto());
    t.add("resources2/icons/icon_over.png", 32, 32, draw_overIcon());

    // ---- backgrounds (the maker's edition backgrounds stay out of the bundle)
    t.add(BG + "mainWindow_back.png", 800, 600, draw_mainBack());
    t.add(BG + "EQ_back.png", 800, 600, draw_eqBack());
    t.add(BG + "Sonvex_splash.png", 600, 444, draw_splash());
    t.add(BG + "about_back.png", 380, 144, draw_aboutBack());
    t.add(BG + "Export_back.png", 540, 441, draw_exportBack());
    t.add(BG + "Combine_back.png", 540, 409, draw_combineBack());

    return t.rows;
}
