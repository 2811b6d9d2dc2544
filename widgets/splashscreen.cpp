#include "widgets/splashscreen.h"

#include <QLabel>

#include "widgets/appversion.h"

snxSplashScreen::snxSplashScreen(const QPixmap &pixmap, Qt::WindowFlags flags) : QSplashScreen(pixmap, flags) {
    labelVersion = new QLabel(this);
    labelVersion->setObjectName(QStringLiteral("labelVersion"));
    arrangeLabelVersion(labelVersion);
    labelVersion->raise();

    labelCopyright = new QLabel(this);
    labelCopyright->setObjectName(QStringLiteral("labelCopyright"));
    arrangeLabelCopyright(labelCopyright);
    labelCopyright->raise();
}

void snxSplashScreen::arrangeLabelVersion(QLabel *label) {
    label->setGeometry(264, 331, 200, 21);
    label->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255); font: 13px;"));
    label->setText(tr("Version ") + QString::number(gAppVersion, 'f', 2) + tr(" Build ") + QString::number(gAppBuild));
}

void snxSplashScreen::arrangeLabelCopyright(QLabel *label) {
    label->setGeometry(264, 362, 220, 21);
    label->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255); font: 9px;"));
    label->setText(QString::fromUtf8(gAppRightsNotice));
}
