#include "editing/edittransport.h"

#include "ui_edittransport.h"

editTransport::editTransport(QWidget *parent) : QWidget(parent), ui(new Ui::editTransport) {
    ui->setupUi(this);
    ui->lineEditTransport->setStyleSheet(
        QStringLiteral("color:rgb(255, 255, 255);\nbackground-color: rgb(0, 0, 0);\nfont-size: 31px;"));
}

editTransport::~editTransport() { delete ui; }

void editTransport::setTimeCounter(const QString &text) { ui->lineEditTransport->setText(text); }
