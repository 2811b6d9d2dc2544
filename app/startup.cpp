#include "app/startup.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QTranslator>

const char *const kStartupTranslationName = "SonvexEditor";
const char *const kStartupFontPlaceholder = "DEFAULT-FONT";

bool startup_installTranslation(QTranslator &translator, QLocale::Language language, const QString &dir) {
    if (language != QLocale::Japanese) return false;
    const bool loaded = translator.load(QLatin1String(kStartupTranslationName), dir);
    QCoreApplication::installTranslator(&translator);
    return loaded;
}

QString startup_registerFont() {
    const int id = QFontDatabase::addApplicationFont(QStringLiteral(":/resources2/font/ipagp.ttf"));
    if (id < 0) return QString();
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    return families.isEmpty() ? QString() : families.first();
}

QString startup_composeStyleSheet(const QByteArray &sheet, const QString &family) {
    QString text = QString::fromLatin1(sheet);
    if (family.isEmpty()) {
        // A family that is not registered would leave a font name the style
        // cannot resolve; quote nothing and let the style pick its default.
        text.replace(QLatin1String(kStartupFontPlaceholder), QStringLiteral("sans-serif"));
    } else {
        text.replace(QLatin1String(kStartupFontPlaceholder), family);
    }
    return text;
}

QByteArray startup_readStyleSheet() {
    QFile file(QStringLiteral(":/resources2/qss/default.qss"));
    if (!file.open(QIODevice::ReadOnly)) return QByteArray();
    const QByteArray bytes = file.readAll();
    file.close();
    return bytes;
}
