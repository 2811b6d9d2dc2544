#include "widgets/dialogabout.h"

#include <QPixmap>
#include <QStringList>

#include "ui_dialogabout.h"
#include "widgets/appversion.h"

DialogAbout::DialogAbout(QWidget *parent) : QDialog(parent), ui(new Ui::DialogAbout) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // "%5.2f" pads 1.10 to five places, so the label reads "Version  1.10".
    ui->labelVersion->setText(tr("Version ") + QString::asprintf("%5.2f", gAppVersion));
    ui->labelBuild->setText(tr("Build ") + QString::asprintf("%04d", gAppBuild));

    const QStringList lines = QString::fromUtf8(gAppRightsNotice).split(QLatin1Char('\n'));
    ui->labelCopyright->setText(lines.value(0));
    ui->labelCopyright2->setText(lines.value(1));
}

DialogAbout::~DialogAbout() { delete ui; }

void DialogAbout::setEdition(tSetEdition edition) {
    if (edition != kEditionZolt) return;
    ui->labelBackground->setPixmap(QPixmap(QStringLiteral(":resources2/bg_ZOLT/ZOLT_about_back.png")));
    ui->labelAppName->setText(QStringLiteral("ZOLT Sonvex Editor"));
    ui->labelAppName->setStyleSheet(
        QStringLiteral("QLabel{color: rgb(24, 59, 208);font-size: 16px;font-weight: 700;}"));
    const QString dark = QStringLiteral("QLabel{color: rgb(0, 0, 0);}");
    ui->labelVersion->setStyleSheet(dark);
    ui->labelBuild->setStyleSheet(dark);
    ui->labelCopyright->setStyleSheet(dark);
    ui->labelCopyright2->setStyleSheet(dark);
}
