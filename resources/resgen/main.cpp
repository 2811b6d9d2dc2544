// resgen: draws the resource bundle's pictures and writes its .qrc.
//
//   resgen <picture dir> <qrc file> <font file> <resources source dir>
//
// Pictures go to <picture dir>/<bundle path>. The .qrc lists them, every
// style sheet under <source>/qss and page under <source>/html, and the font,
// each under its bundle path. Runs on the offscreen platform: no display is
// needed at build time. Exits non-zero, naming the file, on any failure.
#include "table.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>
#include <cmath>
#include <cstdio>

namespace {

int fail(const QString &what) {
    std::fprintf(stderr, "resgen: %s\n", qPrintable(what));
    return 1;
}

QString xmlEscape(QString s) {
    return s.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
}

}  // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) return fail("usage: resgen <picture dir> <qrc file> <font file> <resources source dir>");
    const QDir outDir(args[1]);
    const QString qrcPath = args[2];
    const QString fontPath = QFileInfo(args[3]).absoluteFilePath();
    const QDir srcDir(args[4]);

    const int fontId = QFontDatabase::addApplicationFont(fontPath);
    const QStringList families = QFontDatabase::applicationFontFamilies(fontId);
    if (fontId < 0 || families.isEmpty()) return fail("cannot load the font " + fontPath);
    draw_setFontFamily(families.first());

    QStringList entries;  // "<alias>\t<file>"
    QSet<QString> seen;
    for (const tPicture &pic : resgen_pictures()) {
        if (seen.contains(pic.path)) return fail("two table rows for " + pic.path);
        seen.insert(pic.path);
        const int w = int(std::lround(pic.width * pic.scale));
        const int h = int(std::lround(pic.height * pic.scale));
        QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        {
            QPainter p(&img);
            p.scale(double(w) / pic.width, double(h) / pic.height);
            pic.draw(p, QSizeF(pic.width, pic.height));
        }
        if (pic.disabled) draw_desaturate(img);
        const QString file = outDir.filePath(pic.path);
        if (!QDir().mkpath(QFileInfo(file).path()) || !img.save(file, "PNG")) return fail("cannot write " + file);
        entries << pic.path + '\t' + QFileInfo(file).absoluteFilePath();
    }

    for (const char *sub : {"qss", "html"}) {
        QDirIterator it(srcDir.filePath(sub), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            entries << "resources2/" + srcDir.relativeFilePath(file) + '\t' + QFileInfo(file).absoluteFilePath();
        }
    }
    entries << QStringLiteral("resources2/font/ipagp.ttf\t") + fontPath;
    entries.sort();

    QSaveFile qrc(qrcPath);
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text)) return fail("cannot write " + qrcPath);
    QTextStream out(&qrc);
    out << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString &e : entries) {
        const QStringList parts = e.split('\t');
        out << "  <file alias=\"" << xmlEscape(parts[0]) << "\">" << xmlEscape(parts[1]) << "</file>\n";
    }
    out << "</qresource>\n</RCC>\n";
    out.flush();
    if (!qrc.commit()) return fail("cannot write " + qrcPath);
    return 0;
}
