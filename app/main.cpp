// The program's entry point: the application with its translation, font and
// style sheet, the splash screen while the main window is being built, the
// event loop, and the shut-down when the main window goes out of scope.
// The program takes no options; the arguments go to the application object.
#include <QApplication>
#include <QLocale>
#include <QPixmap>
#include <QTranslator>

#include "app/mainwindow.h"
#include "app/startup.h"
#include "widgets/splashscreen.h"

int main(int argc, char *argv[]) {
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

    MainWindow window;
    window.show();
    splash.finish(&window);

    return application.exec();
}
