#include "widgets/filenamecheck.h"

#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QObject>
#include <QStringList>

namespace {

// Lower case; compared with the lower-cased last part of the name. The two
// lists are kept apart so that the combine window can admit a different set
// without touching the Open path.
const QStringList sOpenExtensions = {QStringLiteral("wav"), QStringLiteral("dsf"), QStringLiteral("dff")};
const QStringList sCombineExtensions = {QStringLiteral("wav"), QStringLiteral("dsf"), QStringLiteral("dff")};

bool hasExtensionIn(const QString &path, const QStringList &list) {
    // Only the part after the last dot counts; a name without a dot is
    // compared whole and so never matches.
    const QString ext = path.split(QLatin1Char('.'), Qt::KeepEmptyParts, Qt::CaseSensitive).last().toLower();
    return list.contains(ext);
}

void warnCannotOpen(QWidget *parent, const QString &text) {
    QMessageBox::warning(parent, QObject::tr("Cannot Open"), text, QMessageBox::Ok, QMessageBox::NoButton);
}

}  // namespace

bool isValidFileExtension(QWidget *parent, const QString &path) {
    if (hasExtensionIn(path, sOpenExtensions)) return true;
    showMessageBox_parseFailed(parent, path);
    return false;
}

bool isValidFileExtensionForCombine(QWidget *parent, const QString &path) {
    if (hasExtensionIn(path, sCombineExtensions)) return true;
    showMessageBox_parseFailed(parent, path);
    return false;
}

bool isValidFs(QWidget *parent, uint32_t rateHz) {
    // Ranges, not a list: every rate the converter can open lies in one.
    if ((rateHz >= 44100 && rateHz <= 384000) || (rateHz >= 2822400 && rateHz <= 11289600)) return true;
    warnCannotOpen(parent, QObject::tr("Unsupported sampling frequency."));
    return false;
}

void showMessageBox_parseFailed(QWidget *parent, const QString &path) {
    warnCannotOpen(parent, fileNameString(path) + QLatin1Char('\n') + QObject::tr("Unsupported audio file."));
}

QString fileNameString(const QString &path) { return path.split(QLatin1Char('/'), Qt::KeepEmptyParts).last(); }

QString elidedString(const QString &text, const QLabel *label) {
    if (!label) return text;
    const QFontMetrics metrics(label->font());
    return metrics.elidedText(text, Qt::ElideMiddle, label->width(), 0);
}
