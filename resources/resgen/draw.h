// Drawing recipes of the resource generator. Every recipe draws one picture in
// logical pixels (the painter is already scaled for the @Nx sets), from one
// palette, so that all controls share one look: navy panels, blue accents,
// bevelled faces, held states darker, and disabled states desaturated by the
// generator after drawing.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QSizeF>
#include <QString>
#include <functional>

using tRecipe = std::function<void(QPainter &, const QSizeF &)>;

// States a control picture is drawn in. Held states are the pressed
// (mouse-down) pictures.
enum class tFace { off, on, offHeld, onHeld };

namespace pal {
extern const QColor navyDeep, navy, navyLight, panelEdge, accent, accentLight;
extern const QColor textGrey, ledGreen, ledYellow, ledOrange, ledRed, ledBlue, ledAmber;
extern const QColor eqBand[4];
}  // namespace pal

// Sets the family of the bundled font used by every text drawn on a picture.
void draw_setFontFamily(const QString &family);

// Turns a drawn picture into its "disable" variant: colours drained towards
// their grey and pulled into a narrow, dark range; alpha is kept.
void draw_desaturate(QImage &img);

// Control pictures.
tRecipe draw_transport(const QString &glyph, QColor lit, tFace face);                  // glyph: play, stop, top, rec
tRecipe draw_stripButton(const QString &text, QColor lit, tFace face);                 // mute, solo, record-arm
tRecipe draw_lamp(const QString &text, QColor lit, bool on);                           // EQ, FX, send, reverb lamps
tRecipe draw_bigLamp(const QString &top, const QString &bottom, QColor lit, bool on);  // oscillator window
tRecipe draw_plainButton(QColor face, QColor edge, bool held, int radius);             // sheet buttons
tRecipe draw_setPoint(bool held);
tRecipe draw_zoom(bool plus, bool held);
tRecipe draw_downArrow();
tRecipe draw_editState(const QString &letter, QColor lit);
tRecipe draw_onOffButton(bool on);
tRecipe draw_eqType(const QString &kind, bool on);  // kind: Peak, Shelf, LF
tRecipe draw_field(bool on);
tRecipe draw_dial(bool on);
tRecipe draw_dialPoint();
tRecipe draw_knob(bool on);
tRecipe draw_modeSwitch(const QString &text, bool multi);
tRecipe draw_powerSwitch(const QString &text, bool on);
tRecipe draw_handle(bool grabbed);
tRecipe draw_playCursor();
tRecipe draw_numberPoint(const QString &number, QColor colour, int state);  // 0 off, 1 on, 2 dragged
tRecipe draw_piano();
tRecipe draw_mic();
tRecipe draw_noPhoto();
tRecipe draw_overIcon();

// Backgrounds.
tRecipe draw_mainBack();
tRecipe draw_eqBack();
tRecipe draw_splash();
tRecipe draw_aboutBack();
tRecipe draw_exportBack();
tRecipe draw_combineBack();
tRecipe draw_faderBack();
tRecipe draw_panBack();
