// What start-up does before the main window exists, as functions a test can
// call without starting the program: the translation, the application font
// and the style sheet.
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

class QTranslator;

// The translation's base name, looked for in the program's folder.
extern const char *const kStartupTranslationName;  // "SonvexEditor"
// The placeholder in the style-sheet resource that stands for the font.
extern const char *const kStartupFontPlaceholder;  // "DEFAULT-FONT"

// For a Japanese `language` loads kStartupTranslationName from `dir` into
// `translator` and installs it on the application (also when the file is
// missing: the interface then stays English). Any other language neither
// loads nor installs anything. Returns whether the translation file loaded.
bool startup_installTranslation(QTranslator &translator, QLocale::Language language, const QString &dir);

// Registers the bundle's font and returns its first family name; empty when
// the font could not be registered.
QString startup_registerFont();

// The style-sheet bytes (Latin-1) with every placeholder replaced by
// `family`. An empty family keeps the placeholders out all the same: the
// font then falls back to the style's default.
QString startup_composeStyleSheet(const QByteArray &sheet, const QString &family);

// Reads the style-sheet resource whole; empty when it cannot be read.
QByteArray startup_readStyleSheet();
