#include "widgets/dialoglicenses.h"

#include <QFile>

#include "ui_dialoglicenses.h"

dialogLicenses::dialogLicenses(QWidget *parent) : QDialog(parent), ui(new Ui::dialogLicenses) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // A missing page leaves the browser empty; the window opens all the same.
    QFile page(QStringLiteral(":/resources2/html/license.html"));
    if (page.open(QIODevice::ReadOnly)) ui->textBrowserLicenses->setText(QString::fromUtf8(page.readAll()));
}

dialogLicenses::~dialogLicenses() { delete ui; }
