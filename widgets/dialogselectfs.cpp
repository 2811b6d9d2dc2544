#include "widgets/dialogselectfs.h"

#include "ui_dialogselectfs.h"

DialogSelectFs::DialogSelectFs(QWidget *parent) : QDialog(parent), ui(new Ui::DialogSelectFs) { ui->setupUi(this); }

DialogSelectFs::~DialogSelectFs() { delete ui; }

void DialogSelectFs::setPCMButtonText(const QString &text) { ui->pushButtonPCM->setText(text); }

void DialogSelectFs::setDSDButtonText(const QString &text) { ui->pushButtonDSD->setText(text); }

void DialogSelectFs::on_pushButtonPCM_clicked() { emit diagSelFsPCMpushed(); }

void DialogSelectFs::on_pushButtonDSD_clicked() { emit diagSelFsDSDpushed(); }

QString selectFsPcmButtonText(int dsdRateHz) {
    return QString::number((dsdRateHz / 16) / 1000.0, 'f', 1) + QStringLiteral("kHz(PCM)");
}

QString selectFsDsdButtonText(int dsdRateHz) {
    return QString::number(dsdRateHz / 1000000.0, 'f', 1) + QStringLiteral("MHz(DSD)");
}

QPoint selectFsPosition(const QRect &mainWindow, const QSize &dialog) {
    return QPoint(mainWindow.x() + mainWindow.width() / 2 - dialog.width() / 2,
                  mainWindow.y() + mainWindow.height() / 3);
}
