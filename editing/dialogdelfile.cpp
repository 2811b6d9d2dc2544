#include "editing/dialogdelfile.h"

#include "ui_dialogdelfile.h"

DialogDelFile::DialogDelFile(QWidget *parent) : QDialog(parent), ui(new Ui::DialogDelFile) { ui->setupUi(this); }

DialogDelFile::~DialogDelFile() { delete ui; }
