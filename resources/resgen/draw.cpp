#include "draw.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace pal {
const QColor navyDeep(10, 15, 28);
const QColor navy(20, 30, 52);
const QColor navyLight(32, 46, 78);
const QColor panelEdge(52, 70, 112);
const QColor accent(74, 111, 224);
const QColor accentLight(132, 151, 233);
const QColor textGrey(150, 156, 170);
// The meter's own zone colours, so that lamps and meters agree.
const QColor ledGreen(0, 210, 30);
const QColor ledYellow(255, 245, 85);
const QColor ledOrange(243, 98, 1);
const QColor ledRed(252, 42, 42);
// The waveform's second colour.
const QColor ledBlue(75, 186, 255);
const QColor ledAmber(255, 176, 32);
// The equaliser graph's band colours, EQ1 to EQ4.
const QColor eqBand[4] = {QColor(209, 0, 9), QColor(189, 152, 0), QColor(0, 179, 0), QColor(124, 2, 181)};
}  // namespace pal

namespace {

QString sFamily;

const QColor kFace(44, 52, 72);    // button face
const QColor kFaceEdge(6, 9, 18);  // dark outline around every face
const QColor kGlyphIdle(205, 210, 222);

QFont textFont(int px, bool bold = true) {
    QFont f(sFamily);
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void text(QPainter &p, const QRectF &r, const QString &s, const QColor &c, int px, bool bold = true,
          int align = Qt::AlignCenter) {
    p.setFont(textFont(px, bold));
    p.setPen(c);
    p.drawText(r, align, s);
}

// Text of a lit control: a soft halo under the letters.
void litText(QPainter &p, const QRectF &r, const QString &s, const QColor &c, int px) {
    QColor halo = c;
    halo.setAlpha(70);
    for (const QPointF d : {QPointF(-0.7, 0), QPointF(0.7, 0), QPointF(0, -0.7), QPointF(0, 0.7)})
        text(p, r.translated(d), s, halo, px);
    text(p, r, s, c.lighter(125), px);
}

QColor mix(const QColor &a, const QColor &b, double t) {
    return QColor::fromRgbF(
        float(a.redF() + (b.redF() - a.redF()) * t), float(a.greenF() + (b.greenF() - a.greenF()) * t),
        float(a.blueF() + (b.blueF() - a.blueF()) * t), float(a.alphaF() + (b.alphaF() - a.alphaF()) * t));
}

// A raised face; held faces are darker and lit from below, as a pressed key.
void face(QPainter &p, const QRectF &r, qreal radius, const QColor &base, bool held) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    if (held) {
        g.setColorAt(0, base.darker(185));
        g.setColorAt(1, base.darker(135));
    } else {
        g.setColorAt(0, base.lighter(140));
        g.setColorAt(0.5, base);
        g.setColorAt(1, base.darker(130));
    }
    p.setPen(QPen(kFaceEdge, 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setBrush(Qt::NoBrush);
    if (held) {
        p.setPen(QPen(QColor(0, 0, 0, 110), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
    } else {
        p.setPen(QPen(QColor(255, 255, 255, 55), 1));
        p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), qMax<qreal>(0, radius - 1), qMax<qreal>(0, radius - 1));
    }
}

// An inset panel (lamps, fields, background groups).
void inset(QPainter &p, const QRectF &r, qreal radius, const QColor &fill, const QColor &edge) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(edge, 1));
    p.setBrush(fill);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.drawLine(QPointF(r.left() + radius, r.top() + 1.5), QPointF(r.right() - radius, r.top() + 1.5));
}

// A soft halo around c: `colour` from `from` (a fraction of the radius)
// outwards, fading to transparent at the rim; no outline. Leaves the pen
// off and the halo's brush set.
void halo(QPainter &p, const QPointF &c, qreal radius, qreal from, const QColor &colour) {
    QColor clear = colour;
    clear.setAlpha(0);
    QRadialGradient glow(c, radius);
    glow.setColorAt(from, colour);
    glow.setColorAt(1, clear);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, radius, radius);
}

void led(QPainter &p, const QPointF &c, qreal radius, const QColor &lit, bool on) {
    p.setRenderHint(QPainter::Antialiasing);
    if (on) {
        QColor inner = lit;
        inner.setAlpha(120);
        halo(p, c, radius * 2.2, 0, inner);
        QRadialGradient body(c - QPointF(radius * 0.3, radius * 0.3), radius);
        body.setColorAt(0, lit.lighter(170));
        body.setColorAt(1, lit);
        p.setBrush(body);
    } else {
        p.setBrush(mix(lit, QColor(20, 20, 24), 0.78));
    }
    p.setPen(QPen(kFaceEdge, 0.8));
    p.drawEllipse(c, radius, radius);
}

void glyph(QPainter &p, const QString &kind, const QPointF &c, qreal s, const QColor &col) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(col);
    if (kind == "play") {
        QPolygonF t;
        t << QPointF(c.x() - s * 0.38, c.y() - s * 0.5) << QPointF(c.x() + s * 0.5, c.y())
          << QPointF(c.x() - s * 0.38, c.y() + s * 0.5);
        p.drawPolygon(t);
    } else if (kind == "stop") {
        p.drawRect(QRectF(c.x() - s * 0.4, c.y() - s * 0.4, s * 0.8, s * 0.8));
    } else if (kind == "top") {
        p.drawRect(QRectF(c.x() - s * 0.5, c.y() - s * 0.45, s * 0.16, s * 0.9));
        QPolygonF t;
        t << QPointF(c.x() + s * 0.5, c.y() - s * 0.45) << QPointF(c.x() - s * 0.28, c.y())
          << QPointF(c.x() + s * 0.5, c.y() + s * 0.45);
        p.drawPolygon(t);
    } else if (kind == "rec") {
        p.drawEllipse(c, s * 0.42, s * 0.42);
    }
}

// Backgrounds share one ground and one kind of group panel.
void ground(QPainter &p, const QSizeF &s) {
    QLinearGradient g(0, 0, 0, s.height());
    g.setColorAt(0, pal::navy);
    g.setColorAt(1, pal::navyDeep);
    p.fillRect(QRectF(QPointF(0, 0), s), g);
    // a faint diagonal sheen, so that large areas are not flat
    QLinearGradient sheen(0, 0, s.width(), s.height());
    sheen.setColorAt(0, QColor(255, 255, 255, 14));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
    sheen.setColorAt(1, QColor(120, 150, 255, 10));
    p.fillRect(QRectF(QPointF(0, 0), s), sheen);
}

void group(QPainter &p, const QRectF &r, const QString &title = QString(),
           const QColor &titleColour = pal::accentLight) {
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(36, 52, 88, 200));
    g.setColorAt(1, QColor(18, 26, 46, 200));
    p.setBrush(g);
    p.setPen(QPen(pal::panelEdge, 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    p.setPen(QPen(QColor(255, 255, 255, 26), 1));
    p.drawLine(QPointF(r.left() + 6, r.top() + 1.5), QPointF(r.right() - 6, r.top() + 1.5));
    if (!title.isEmpty())
        text(p, QRectF(r.left() + 10, r.top() + 3, r.width() - 20, 16), title, titleColour, 11, true,
             Qt::AlignLeft | Qt::AlignVCenter);
}

void dropZone(QPainter &p, const QRectF &r) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(20, 30, 54, 180));
    QPen pen(pal::panelEdge, 1.2, Qt::DashLine);
    p.setPen(pen);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
}

// Vertical bars in the shape of a waveform: the product's emblem.
void waveEmblem(QPainter &p, const QRectF &r, int bars, int alpha) {
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    const qreal step = r.width() / bars;
    for (int i = 0; i < bars; ++i) {
        const double t = (i + 0.5) / bars;
        const double env = qSin(t * M_PI) * (0.55 + 0.45 * qAbs(qSin(t * 17.0 + 0.6) * qCos(t * 7.0)));
        const qreal h = r.height() * qMax(0.06, env);
        QColor c = mix(QColor(7, 118, 255), QColor(75, 186, 255), t);
        c.setAlpha(alpha);
        p.setBrush(c);
        p.drawRoundedRect(QRectF(r.left() + i * step + step * 0.2, r.center().y() - h / 2, step * 0.6, h), step * 0.3,
                          step * 0.3);
    }
}

}  // namespace

void draw_setFontFamily(const QString &family) { sFamily = family; }

void draw_desaturate(QImage &img) {
    img = img.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = line[x];
            const int a = qAlpha(c);
            if (a == 0) continue;
            const double r = qRed(c), g = qGreen(c), b = qBlue(c);
            const double grey = 0.299 * r + 0.587 * g + 0.114 * b;
            auto fold = [&](double v) {
                const double d = grey + (v - grey) * 0.15;  // 15 % of the colour is left
                return int(qBound(0.0, 40.0 + d * 0.5, 255.0));
            };
            line[x] = qRgba(fold(r), fold(g), fold(b), a);
        }
    }
}

tRecipe draw_transport(const QString &kind, QColor lit, tFace f) {
    return [=](QPainter &p, const QSizeF &s) {
        const bool held = f == tFace::offHeld || f == tFace::onHeld;
        const QRectF r(QPointF(0, 0), s);
        face(p, r, 5, kFace, held);
        const qreal g = qMin(s.width(), s.height()) * 0.42;
        QPointF c = r.center();
        if (held) c += QPointF(0, 1);
        QColor col = kGlyphIdle;
        if (f == tFace::on || f == tFace::onHeld) {
            QColor inner = lit;
            inner.setAlpha(90);
            halo(p, c, g * 1.3, 0, inner);
            col = lit.lighter(f == tFace::onHeld ? 100 : 120);
        } else if (f == tFace::offHeld) {
            col = mix(kGlyphIdle, lit, 0.5);
        }
        glyph(p, kind, c, g, col);
    };
}

tRecipe draw_stripButton(const QString &label, QColor lit, tFace f) {
    return [=](QPainter &p, const QSizeF &s) {
        const bool held = f == tFace::offHeld || f == tFace::onHeld;
        const bool on = f == tFace::on || f == tFace::onHeld;
        const QRectF r(QPointF(0, 0), s);
        face(p, r.adjusted(1, 1, -1, -1), 4, on ? mix(kFace, lit, 0.22) : kFace, held);
        const qreal dy = held ? 1 : 0;
        led(p, QPointF(13, s.height() / 2 + dy), 3.5, lit, on);
        const QRectF tr(22, dy, s.width() - 28, s.height());
        if (on)
            litText(p, tr, label, lit, 11);
        else
            text(p, tr, label, kGlyphIdle, 11);
    };
}

tRecipe draw_lamp(const QString &label, QColor lit, bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        inset(p, r.adjusted(1, 1, -1, -1), 4, on ? mix(QColor(14, 20, 36), lit, 0.16) : QColor(14, 20, 36),
              on ? lit.darker(130) : pal::panelEdge);
        const QRectF tr(0, 2, s.width(), s.height() - 9);
        if (on)
            litText(p, tr, label, lit, 12);
        else
            text(p, tr, label, pal::textGrey, 12);
        // the lamp bar under the word
        const QRectF bar(s.width() * 0.2, s.height() - 7, s.width() * 0.6, 3);
        p.setPen(Qt::NoPen);
        if (on) {
            QColor halo = lit;
            halo.setAlpha(80);
            p.setBrush(halo);
            p.drawRoundedRect(bar.adjusted(-2, -2, 2, 2), 3, 3);
            p.setBrush(lit.lighter(120));
        } else {
            p.setBrush(mix(lit, QColor(20, 20, 24), 0.8));
        }
        p.drawRoundedRect(bar, 1.5, 1.5);
    };
}

tRecipe draw_bigLamp(const QString &top, const QString &bottom, QColor lit, bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        inset(p, r.adjusted(1, 1, -1, -1), 6, on ? mix(QColor(14, 20, 36), lit, 0.14) : QColor(14, 20, 36),
              on ? lit.darker(130) : pal::panelEdge);
        const qreal ledY = s.height() * 0.3;
        led(p, QPointF(s.width() / 2, ledY), s.height() * 0.11, lit, on);
        const QRectF tr(0, s.height() * 0.45, s.width(), s.height() * 0.3);
        const QRectF br(0, s.height() * 0.7, s.width(), s.height() * 0.24);
        if (on)
            litText(p, tr, top, lit, 12);
        else
            text(p, tr, top, pal::textGrey, 12);
        text(p, br, bottom, on ? QColor(235, 238, 245) : pal::textGrey.darker(130), 9);
    };
}

tRecipe draw_plainButton(QColor base, QColor edge, bool held, int radius) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r, radius, base, held);
        // a one-pixel rim in the given colour, inside the dark outline
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(edge, 1));
        p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), qMax(0, radius - 1), qMax(0, radius - 1));
    };
}

tRecipe draw_setPoint(bool held) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r, 5, QColor(38, 50, 84), held);
        // the blue rule along the lower edge marks a set-point key
        QColor rule = held ? pal::ledBlue : pal::accent;
        p.setPen(Qt::NoPen);
        if (held) {
            QColor halo = rule;
            halo.setAlpha(70);
            p.setBrush(halo);
            p.drawRoundedRect(QRectF(6, s.height() - 6, s.width() - 12, 4), 2, 2);
        }
        p.setBrush(rule);
        p.drawRoundedRect(QRectF(8, s.height() - 4.5, s.width() - 16, 1.5), 0.75, 0.75);
    };
}

tRecipe draw_zoom(bool plus, bool held) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r, 3, kFace, held);
        const QPointF c = r.center() + QPointF(0, held ? 0.5 : 0);
        p.setPen(Qt::NoPen);
        p.setBrush(held ? pal::ledBlue : kGlyphIdle);
        const qreal a = s.width() * 0.3, t = qMax<qreal>(1.4, s.width() * 0.11);
        p.drawRect(QRectF(c.x() - a, c.y() - t / 2, 2 * a, t));
        if (plus) p.drawRect(QRectF(c.x() - t / 2, c.y() - a, t, 2 * a));
    };
}

tRecipe draw_downArrow() {
    return [](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(170, 172, 180));
        QPolygonF t;
        t << QPointF(0.5, 0.5) << QPointF(s.width() - 0.5, 0.5) << QPointF(s.width() / 2, s.height() - 0.5);
        p.drawPolygon(t);
    };
}

tRecipe draw_editState(const QString &letter, QColor lit) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r.adjusted(0.5, 0.5, -0.5, -0.5), 3, kFace, false);
        text(p, r, letter, mix(lit, kGlyphIdle, 0.55), int(s.height() * 0.55));
    };
}

tRecipe draw_onOffButton(bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r.adjusted(1, 1, -1, -1), 4, kFace, false);
        led(p, QPointF(14, s.height() / 2), 3.5, pal::ledBlue, on);
        const QRectF tr(22, 0, s.width() - 30, s.height());
        if (on)
            litText(p, tr, "ON", pal::ledBlue, 11);
        else
            text(p, tr, "OFF", kGlyphIdle, 11);
    };
}

tRecipe draw_eqType(const QString &kind, bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r.adjusted(1, 1, -1, -1), 4, on ? QColor(40, 58, 104) : kFace, on);
        const QColor col = on ? pal::ledBlue : kGlyphIdle;
        // the response shape of the band type, above its name
        const QRectF g(8, 5, s.width() - 16, s.height() * 0.42);
        QPainterPath path;
        const int n = 40;
        for (int i = 0; i <= n; ++i) {
            const double x = double(i) / n;
            double y;
            if (kind == "Peak")
                y = 0.5 - 0.45 * qExp(-qPow((x - 0.5) / 0.14, 2));
            else if (kind == "Shelf")
                y = 0.25 + 0.5 / (1 + qExp((0.5 - x) * 14));
            else
                y = 0.3 + 0.65 / (1 + qExp((0.62 - x) * 16));
            const QPointF pt(g.left() + x * g.width(), g.top() + y * g.height());
            if (i == 0)
                path.moveTo(pt);
            else
                path.lineTo(pt);
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(col, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(path);
        const QString name = kind == "Peak" ? "PEAK" : kind == "Shelf" ? "SHELF" : "LPF";
        text(p, QRectF(0, s.height() * 0.55, s.width(), s.height() * 0.4), name, col, 9);
    };
}

tRecipe draw_field(bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        // Light like a display, so that the field's default dark text reads on it.
        const QRectF r(QPointF(0, 0), s);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, on ? QColor(206, 220, 248) : QColor(146, 150, 160));
        g.setColorAt(1, on ? QColor(232, 240, 255) : QColor(168, 172, 180));
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(on ? pal::accent : QColor(70, 74, 86), 1));
        p.setBrush(g);
        p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    };
}

tRecipe draw_dial(bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        // scale: -18 dB to +18 dB over 270 degrees, a tick every 3 dB
        for (int k = 0; k <= 12; ++k) {
            const double th = (-0.75 + 1.5 * k / 12.0) * M_PI;
            const QPointF dir(qSin(th), -qCos(th));
            const bool major = k % 6 == 0;
            p.setPen(QPen(on ? (major ? pal::ledBlue.lighter(120) : pal::ledBlue) : QColor(96, 102, 118),
                          major ? 1.8 : 1.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(c + dir * 26.5, c + dir * (major ? 31.0 : 29.5));
        }
        QRadialGradient body(c - QPointF(6, 8), 30);
        body.setColorAt(0, QColor(92, 100, 120));
        body.setColorAt(0.6, QColor(46, 52, 68));
        body.setColorAt(1, QColor(22, 26, 36));
        p.setPen(QPen(kFaceEdge, 1));
        p.setBrush(body);
        p.drawEllipse(c, 23, 23);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(on ? QColor(75, 186, 255, 150) : QColor(255, 255, 255, 40), 1.2));
        p.drawEllipse(c, 21.5, 21.5);
    };
}

tRecipe draw_dialPoint() {
    return [](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        QRadialGradient g(c, s.width() / 2);
        g.setColorAt(0, QColor(255, 255, 255));
        g.setColorAt(0.45, pal::ledBlue);
        g.setColorAt(1, QColor(75, 186, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(c, s.width() / 2, s.height() / 2);
    };
}

tRecipe draw_knob(bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        const qreal rad = qMin(s.width(), s.height()) / 2 - 0.5;
        if (on) halo(p, c, rad + 0.5, 0.7, QColor(75, 186, 255, 160));
        QRadialGradient body(c - QPointF(rad * 0.35, rad * 0.45), rad * 1.4);
        body.setColorAt(0, QColor(235, 238, 245));
        body.setColorAt(0.5, QColor(160, 166, 180));
        body.setColorAt(1, QColor(70, 76, 92));
        p.setPen(QPen(on ? pal::ledBlue.darker(120) : kFaceEdge, 1));
        p.setBrush(body);
        p.drawEllipse(c, rad - 1, rad - 1);
        p.setPen(QPen(on ? pal::accent : QColor(40, 44, 56), 1.2));
        p.drawEllipse(c, rad * 0.28, rad * 0.28);
    };
}

tRecipe draw_modeSwitch(const QString &label, bool multi) {
    return [=](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        face(p, r, s.height() / 2, multi ? QColor(40, 58, 104) : kFace, false);
        if (multi)
            litText(p, r, label, pal::ledBlue, 10);
        else
            text(p, r, label, kGlyphIdle, 10);
    };
}

tRecipe draw_powerSwitch(const QString &label, bool on) {
    return [=](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        const qreal rad = qMin(s.width(), s.height()) / 2 - 2;
        if (on) halo(p, c, rad + 2, 0.82, QColor(75, 186, 255, 150));
        QRadialGradient body(c - QPointF(rad * 0.3, rad * 0.4), rad * 1.5);
        body.setColorAt(0, on ? QColor(64, 82, 130) : QColor(70, 78, 98));
        body.setColorAt(1, QColor(16, 20, 32));
        p.setPen(QPen(kFaceEdge, 1.5));
        p.setBrush(body);
        p.drawEllipse(c, rad * 0.86, rad * 0.86);
        const QColor col = on ? pal::ledBlue.lighter(115) : QColor(120, 126, 140);
        const QPointF gc = c - QPointF(0, rad * 0.12);
        const qreal gr = rad * 0.3;
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(col, rad * 0.07, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(gc.x() - gr, gc.y() - gr, 2 * gr, 2 * gr), 120 * 16, -240 * 16);
        p.drawLine(gc - QPointF(0, gr * 1.25), gc - QPointF(0, gr * 0.2));
        text(p, QRectF(0, c.y() + rad * 0.32, s.width(), rad * 0.3), label, col, int(rad * 0.22));
    };
}

tRecipe draw_handle(bool grabbed) {
    return [=](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        const qreal rad = s.width() / 2 - 1;
        p.setPen(QPen(grabbed ? QColor(255, 255, 255) : QColor(4, 40, 110), grabbed ? 1.6 : 1));
        p.setBrush(grabbed ? QColor(75, 186, 255) : QColor(7, 118, 255));
        p.drawEllipse(c, rad, rad);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, grabbed ? 255 : 200));
        p.drawEllipse(c, rad * 0.28, rad * 0.28);
    };
}

tRecipe draw_playCursor() {
    return [](QPainter &p, const QSizeF &s) {
        const QColor yellow(255, 222, 40);
        p.setPen(Qt::NoPen);
        p.setBrush(yellow);
        // one pixel wide at 1x, centred under the triangle's point
        const qreal mid = s.width() / 2;
        p.drawRect(QRectF(mid - 0.5, 8, 1, s.height() - 8));
        p.setRenderHint(QPainter::Antialiasing);
        QPolygonF t;
        t << QPointF(0, 0) << QPointF(s.width(), 0) << QPointF(mid, 10);
        p.drawPolygon(t);
    };
}

tRecipe draw_numberPoint(const QString &number, QColor colour, int state) {
    return [=](QPainter &p, const QSizeF &s) {
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        const qreal rad = s.width() / 2 - 1.5;
        if (state == 2) halo(p, c, rad + 1.5, 0.75, QColor(255, 255, 255, 150));
        if (state == 0) {
            p.setPen(QPen(QColor(120, 126, 140), 1.2));
            p.setBrush(QColor(34, 40, 56, 230));
        } else {
            QRadialGradient body(c - QPointF(rad * 0.3, rad * 0.4), rad * 1.4);
            body.setColorAt(0, colour.lighter(state == 2 ? 175 : 140));
            body.setColorAt(1, colour.darker(state == 2 ? 100 : 120));
            p.setPen(QPen(state == 2 ? QColor(255, 255, 255) : colour.lighter(160), state == 2 ? 1.6 : 1.0));
            p.setBrush(body);
        }
        p.drawEllipse(c, rad, rad);
        text(p, QRectF(QPointF(0, 0), s), number, state == 0 ? QColor(150, 156, 170) : QColor(255, 255, 255),
             int(s.height() * 0.52));
    };
}

tRecipe draw_piano() {
    return [](QPainter &p, const QSizeF &s) {
        // a grand piano seen from above, keyboard towards the bottom
        p.setRenderHint(QPainter::Antialiasing);
        const qreal w = s.width(), h = s.height();
        QPainterPath body;
        body.moveTo(3, h - 8);
        body.lineTo(3, 3);
        body.cubicTo(12, 0.5, 18, 4, 19, 12);
        body.cubicTo(20, 18, w - 3, 19, w - 3, 24);
        body.lineTo(w - 3, h - 8);
        body.closeSubpath();
        QLinearGradient g(0, 0, w, 0);
        g.setColorAt(0, QColor(40, 40, 46));
        g.setColorAt(1, QColor(12, 12, 16));
        p.setPen(QPen(QColor(150, 156, 170), 1));
        p.setBrush(g);
        p.drawPath(body);
        p.setPen(QPen(QColor(255, 255, 255, 40), 0.8));
        p.drawLine(QPointF(6, 8), QPointF(6, h - 11));
        const QRectF keys(2.5, h - 8, w - 5, 6.5);
        p.setPen(QPen(QColor(60, 60, 66), 0.8));
        p.setBrush(QColor(246, 246, 240));
        p.drawRect(keys);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(20, 20, 24));
        for (int k = 1; k < 9; ++k)
            if (k % 7 != 3 && k % 7 != 0)
                p.drawRect(QRectF(keys.left() + k * keys.width() / 9 - 1, keys.top(), 2, 3.8));
    };
}

tRecipe draw_mic() {
    return [](QPainter &p, const QSizeF &s) {
        // the listening point seen from above: a capsule with its grille
        p.setRenderHint(QPainter::Antialiasing);
        const QPointF c(s.width() / 2, s.height() / 2);
        QRadialGradient g(c - QPointF(4, 5), 16);
        g.setColorAt(0, QColor(240, 242, 248));
        g.setColorAt(1, QColor(110, 116, 130));
        p.setPen(QPen(QColor(20, 24, 34), 1));
        p.setBrush(g);
        p.drawEllipse(c, 12, 12);
        p.setPen(QPen(QColor(60, 66, 80), 0.8));
        p.setBrush(Qt::NoBrush);
        for (int k = -2; k <= 2; ++k) {
            const qreal d = k * 4.0;
            const qreal half = qSqrt(qMax(0.0, 10.0 * 10.0 - d * d));
            p.drawLine(QPointF(c.x() + d, c.y() - half), QPointF(c.x() + d, c.y() + half));
            p.drawLine(QPointF(c.x() - half, c.y() + d), QPointF(c.x() + half, c.y() + d));
        }
        p.setPen(QPen(pal::ledBlue, 1.4));
        p.drawEllipse(c, 14.5, 14.5);
    };
}

tRecipe draw_noPhoto() {
    return [](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        inset(p, r, 6, QColor(24, 32, 52), pal::panelEdge);
        p.setRenderHint(QPainter::Antialiasing);
        // a pair of quavers
        const qreal u = s.width() / 128.0;
        const QColor col(96, 110, 148);
        p.setPen(Qt::NoPen);
        p.setBrush(col);
        p.drawEllipse(QPointF(46 * u, 78 * u), 11 * u, 8 * u);
        p.drawEllipse(QPointF(84 * u, 70 * u), 11 * u, 8 * u);
        p.drawRect(QRectF(54 * u, 28 * u, 4 * u, 50 * u));
        p.drawRect(QRectF(92 * u, 20 * u, 4 * u, 50 * u));
        QPolygonF beam;
        beam << QPointF(54 * u, 28 * u) << QPointF(96 * u, 20 * u) << QPointF(96 * u, 30 * u)
             << QPointF(54 * u, 38 * u);
        p.drawPolygon(beam);
        text(p, QRectF(0, 96 * u, s.width(), 22 * u), "NO PHOTO", pal::textGrey, int(13 * u));
    };
}

tRecipe draw_overIcon() {
    return [](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(r.topLeft(), r.bottomLeft());
        g.setColorAt(0, pal::ledRed.lighter(130));
        g.setColorAt(1, pal::ledRed.darker(130));
        p.setPen(QPen(QColor(90, 10, 10), 1));
        p.setBrush(g);
        p.drawRoundedRect(r.adjusted(1.5, 7.5, -1.5, -7.5), 4, 4);
        text(p, r.adjusted(0, 7, 0, -7), "OVER", QColor(255, 255, 255), int(s.height() * 0.3));
    };
}

// ---------------------------------------------------------------- backgrounds
// Group panels sit under the controls of the forms that show these pictures.

tRecipe draw_mainBack() {
    return [](QPainter &p, const QSizeF &s) {
        ground(p, s);
        // header with the device and rate selectors
        QLinearGradient hg(0, 0, 0, 38);
        hg.setColorAt(0, QColor(28, 40, 68));
        hg.setColorAt(1, QColor(14, 20, 36));
        p.fillRect(QRectF(0, 0, s.width(), 38), hg);
        p.fillRect(QRectF(0, 38, s.width(), 1), pal::accent.darker(150));
        p.setFont(textFont(15));
        p.setPen(pal::accentLight);
        p.drawText(QRectF(620, 6, 168, 26), Qt::AlignRight | Qt::AlignVCenter, "Sonvex Editor");
        group(p, QRectF(40, 60, 720, 58));    // counter and meter
        group(p, QRectF(40, 132, 720, 256));  // waveform, in and out points
        group(p, QRectF(214, 391, 318, 32));  // set point
        group(p, QRectF(40, 464, 720, 72));   // files and transport
        group(p, QRectF(40, 540, 720, 52));   // file information
    };
}

tRecipe draw_eqBack() {
    return [](QPainter &p, const QSizeF &s) {
        ground(p, s);
        group(p, QRectF(114, 4, 682, 272));  // response graph
        group(p, QRectF(8, 196, 102, 384), "TOTAL");
        static const char *names[4] = {"EQ1", "EQ2", "EQ3", "EQ4"};
        static const qreal left[4] = {112, 286, 458, 628};
        static const qreal right[4] = {284, 456, 626, 796};
        for (int k = 0; k < 4; ++k) {
            const QRectF col(left[k], 284, right[k] - left[k], 300);
            group(p, col);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(Qt::NoPen);
            p.setBrush(pal::eqBand[k]);
            p.drawEllipse(QPointF(col.left() + 18, col.top() + 22), 5, 5);
            text(p, QRectF(col.left() + 28, col.top() + 12, 80, 20), names[k], pal::eqBand[k].lighter(150), 15, true,
                 Qt::AlignLeft | Qt::AlignVCenter);
            p.fillRect(QRectF(col.left() + 10, col.top() + 40, col.width() - 20, 1), QColor(255, 255, 255, 30));
        }
    };
}

tRecipe draw_splash() {
    return [](QPainter &p, const QSizeF &s) {
        QLinearGradient g(0, 0, s.width(), s.height());
        g.setColorAt(0, QColor(26, 40, 76));
        g.setColorAt(0.6, pal::navy);
        g.setColorAt(1, pal::navyDeep);
        p.fillRect(QRectF(QPointF(0, 0), s), g);
        waveEmblem(p, QRectF(30, 180, 540, 120), 72, 110);
        text(p, QRectF(40, 70, 520, 60), "Sonvex Editor", QColor(255, 255, 255), 46, true,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(44, 128, 520, 24), "High-Resolution Audio Player and Converter", pal::accentLight, 16, false,
             Qt::AlignLeft | Qt::AlignVCenter);
        // rule above the version and rights lines (placed by the splash screen)
        p.fillRect(QRectF(264, 322, 300, 1), pal::accent);
        p.fillRect(QRectF(0, s.height() - 4, s.width(), 4), pal::accent.darker(130));
    };
}

tRecipe draw_aboutBack() {
    return [](QPainter &p, const QSizeF &s) {
        ground(p, s);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF logo(16, 14, 66, 66);
        QRadialGradient g(logo.center(), 33);
        g.setColorAt(0, QColor(36, 56, 104));
        g.setColorAt(1, QColor(16, 24, 44));
        p.setPen(QPen(pal::accent, 1.5));
        p.setBrush(g);
        p.drawEllipse(logo.adjusted(1, 1, -1, -1));
        waveEmblem(p, logo.adjusted(12, 18, -12, -18), 9, 230);
        p.fillRect(QRectF(12, 84, s.width() - 24, 1), pal::panelEdge);
    };
}

tRecipe draw_exportBack() {
    return [](QPainter &p, const QSizeF &s) {
        ground(p, s);
        group(p, QRectF(24, 28, 492, 114));   // original file
        group(p, QRectF(24, 158, 492, 222));  // export to
    };
}

tRecipe draw_combineBack() {
    return [](QPainter &p, const QSizeF &s) {
        ground(p, s);
        dropZone(p, QRectF(28, 16, 484, 90));   // head file, a drop area
        dropZone(p, QRectF(28, 124, 484, 90));  // tail file, a drop area
        group(p, QRectF(24, 234, 492, 104));    // combined file
    };
}

tRecipe draw_faderBack() {
    return [](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        inset(p, r, 4, QColor(16, 22, 38), pal::panelEdge);
        // The knob's centre runs from y = 10 to h - 6 around x = 17.
        const qreal x = 17;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0));
        p.drawRoundedRect(QRectF(x - 2, 6, 4, s.height() - 12), 2, 2);
        // ticks at +6, 0, -12, -36 and -60 dB of the strips' 141-pixel track
        const qreal ticks[5] = {10, 30, 70, 109, 129};
        for (int k = 0; k < 5; ++k) {
            const bool unity = k == 1;
            p.fillRect(QRectF(unity ? 3 : 6, ticks[k] - 0.5, unity ? 9 : 6, 1),
                       unity ? pal::accentLight : QColor(120, 128, 148));
            p.fillRect(QRectF(22, ticks[k] - 0.5, unity ? 7 : 4, 1), unity ? pal::accentLight : QColor(120, 128, 148));
        }
    };
}

tRecipe draw_panBack() {
    return [](QPainter &p, const QSizeF &s) {
        const QRectF r(QPointF(0, 0), s);
        inset(p, r, 4, QColor(16, 22, 38), pal::panelEdge);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0));
        p.drawRoundedRect(QRectF(6, s.height() / 2 - 1.5, s.width() - 12, 3), 1.5, 1.5);
        // the centre: pan 0 puts the knob's middle at x = 32 on the 61-pixel track
        p.fillRect(QRectF(31.5, 2, 1, 4), pal::accentLight);
        p.fillRect(QRectF(31.5, s.height() - 6, 1, 4), pal::accentLight);
    };
}
