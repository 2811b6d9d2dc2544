#include "widgets/dialogoverwrite.h"

#include <QAbstractButton>
#include <QDialogButtonBox>

#include "ui_dialogoverwrite.h"

DialogOverWrite::DialogOverWrite(QWidget *parent) : QDialog(parent), ui(new Ui::DialogOverWrite) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(tr("Confirmation"));
}

DialogOverWrite::~DialogOverWrite() { delete ui; }

void DialogOverWrite::on_buttonBox_clicked(QAbstractButton *button) {
    if (ui->buttonBox->standardButton(button) == QDialogButtonBox::Ok)
        emit clickedOK();
    else
        emit clickedCancel();
}
