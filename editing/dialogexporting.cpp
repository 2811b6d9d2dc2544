#include "editing/dialogexporting.h"

#include "ui_dialogexporting.h"

DialogExporting::DialogExporting(QWidget *parent) : QDialog(parent), ui(new Ui::DialogExporting) {
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

DialogExporting::~DialogExporting() { delete ui; }

void DialogExporting::sendProgress(int value) { ui->progressBar->setValue(value); }
