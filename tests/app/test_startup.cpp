// What start-up prepares before the main window exists: the translation
// (only for a Japanese system language, from the program's folder), the
// bundle's font in the style sheet, and the USB device probe's scan of the
// system's device list.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>

#include "app/startup.h"
#include "app/usbprobe.h"

namespace {

QString binDir() { return qEnvironmentVariable("SONVEX_BIN_DIR"); }

QString insufficientMemory() { return QCoreApplication::translate("MainWindow", "Insufficient Memory."); }

}  // namespace

TEST(StartupStyleSheet, EveryPlaceholderBecomesTheFamilyAndNothingElseChanges) {
    struct Case {
        const char *sheet;
        const char *family;
        const char *expected;
    };
    const Case cases[] = {
        {"", "IPAPGothic", ""},
        {"QWidget { font-family: DEFAULT-FONT; }", "IPAPGothic", "QWidget { font-family: IPAPGothic; }"},
        {"a{font:DEFAULT-FONT}b{font:DEFAULT-FONT}", "F", "a{font:F}b{font:F}"},
        // Case-sensitive: only the exact placeholder is a placeholder.
        {"a{font:default-font}", "F", "a{font:default-font}"},
        // The bytes are Latin-1 text.
        {"/* \xe9 */ a{font:DEFAULT-FONT}", "F", "/* \xc3\xa9 */ a{font:F}"},
    };
    for (const Case &c : cases) {
        const QString got = startup_composeStyleSheet(QByteArray(c.sheet), QString::fromUtf8(c.family));
        EXPECT_EQ(got, QString::fromUtf8(c.expected)) << c.sheet;
    }
    // Without a registered family no placeholder is left either.
    EXPECT_FALSE(startup_composeStyleSheet("a{font:DEFAULT-FONT}", QString()).contains("DEFAULT-FONT"));
}

TEST(StartupStyleSheet, TheBundlesSheetNamesTheBundlesFont) {
    const QByteArray sheet = startup_readStyleSheet();
    ASSERT_FALSE(sheet.isEmpty());
    ASSERT_TRUE(sheet.contains(kStartupFontPlaceholder));
    const QString family = startup_registerFont();
    ASSERT_FALSE(family.isEmpty());
    const QString composed = startup_composeStyleSheet(sheet, family);
    EXPECT_FALSE(composed.contains(QLatin1String(kStartupFontPlaceholder)));
    EXPECT_TRUE(composed.contains(family));
}

TEST(StartupTranslation, OnlyAJapaneseSystemLoadsTheProgramsTranslation) {
    ASSERT_TRUE(QFile::exists(binDir() + QStringLiteral("/SonvexEditor.qm")));
    const QString english = QStringLiteral("Insufficient Memory.");

    {  // Japanese with the file beside the program: the Japanese interface.
        QTranslator translator;
        EXPECT_TRUE(startup_installTranslation(translator, QLocale::Japanese, binDir()));
        EXPECT_NE(insufficientMemory(), english);
        EXPECT_FALSE(insufficientMemory().isEmpty());
        QCoreApplication::removeTranslator(&translator);
    }
    EXPECT_EQ(insufficientMemory(), english);

    {  // Japanese without the file: English, and start-up goes on.
        QTemporaryDir empty;
        QTranslator translator;
        EXPECT_FALSE(startup_installTranslation(translator, QLocale::Japanese, empty.path()));
        EXPECT_EQ(insufficientMemory(), english);
        QCoreApplication::removeTranslator(&translator);
    }

    // Any other language never loads the file, even when it is there.
    for (QLocale::Language language : {QLocale::English, QLocale::German, QLocale::Chinese, QLocale::C}) {
        QTranslator translator;
        EXPECT_FALSE(startup_installTranslation(translator, language, binDir())) << language;
        EXPECT_TRUE(translator.isEmpty());
        EXPECT_EQ(insufficientMemory(), english);
        QCoreApplication::removeTranslator(&translator);
    }
}

TEST(UsbProbe, FindsTheDeviceByVendorAndProductInTheDeviceList) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    auto device = [&](const char *name, const char *vendor, const char *product) {
        QDir(root.path()).mkpath(QString::fromLatin1(name));
        if (vendor) {
            QFile f(root.filePath(QString::fromLatin1(name) + QStringLiteral("/idVendor")));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(vendor);
        }
        if (product) {
            QFile f(root.filePath(QString::fromLatin1(name) + QStringLiteral("/idProduct")));
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(product);
        }
    };
    // Hubs, interfaces without ids, the maker's other product, a neighbour
    // with the product id of another vendor, and a malformed id.
    device("usb1", "1d6b\n", "0002\n");
    device("1-1:1.0", nullptr, nullptr);
    device("1-2", "7a31\n", "5e03\n");
    device("1-3", "7a30\n", "5e02\n");
    device("1-4", "zz\n", "5e02\n");
    EXPECT_TRUE(usbProbe_find(root.path(), kUsbProbeVendor, kUsbProbeProduct).isEmpty());

    device("2-1.4", "7A31\n", "5E02\n");
    EXPECT_EQ(usbProbe_find(root.path(), kUsbProbeVendor, kUsbProbeProduct), root.filePath(QStringLiteral("2-1.4")));

    EXPECT_TRUE(usbProbe_find(root.filePath(QStringLiteral("missing")), kUsbProbeVendor, kUsbProbeProduct).isEmpty());
}
