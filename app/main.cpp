// The program's entry point: the application with its translation, font and
// style sheet, the splash screen while the main window is being built, the
// event loop, and the shut-down when the main window goes out of scope.
// The program takes no options; the arguments go to the application object.
#include <QApplication>
#include <QLocale>
#include <QPixmap>
#include <QSurfaceFormat>
#include <QTranslator>

#include <dlfcn.h>

#include "app/mainwindow.h"
#include "app/startup.h"
#include "widgets/splashscreen.h"

int main(int argc, char *argv[]) {
#if defined(__SANITIZE_ADDRESS__)
    // Sanitizer builds only: keep Mesa's software driver loaded to the end,
    // so that the leak checker can still name the frames of the blocks it
    // keeps until exit (and match them against the suppressions).
    dlopen("/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", RTLD_NOW | RTLD_NODELETE);
#endif
    // The drawing widgets use fixed-function OpenGL: a 2.1 compatibility
    // context (a newer version would give a core context on Mesa, in which
    // the immediate-mode calls do nothing).
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(2, 1);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    QSurfaceFormat::setDefaultFormat(format);

    qputenv("QT_AUTO_SCREEN_SCALE_FACTOR", "2");
    QApplication application(argc, argv);

    QTranslator translator;
    QLocale locale;
    startup_installTranslation(translator, locale.language(), QCoreApplication::applicationDirPath());

    const QString family = startup_registerFont();
    const QString styleSheet = startup_composeStyleSheet(startup_readStyleSheet(), family);
    application.setStyleSheet(styleSheet);

    QPixmap splashPicture(QStringLiteral(":/resources2/bg/Sonvex_splash.png"));
    snxSplashScreen splash(splashPicture);
    splash.show();
    // Paint it now: the main window's constructor keeps the GUI thread busy
    // until it is done.
    application.processEvents();

    MainWindow window;
    window.show();
    splash.finish(&window);

    return application.exec();
}
