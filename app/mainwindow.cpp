#include "app/mainwindow.h"

#include "ui_mainwindow.h"

const int kMainWaveLevelFactors[kMainWaveLevels] = {4, 8, 16, 32, 128, 1024, 2048};

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent), ui(new Ui::MainWindow) {
    ui->setupUi(this);
    mConstructed = true;
}

MainWindow::~MainWindow() {
    finishApp();
}

void MainWindow::finishApp() {
    delete ui;
    ui = nullptr;
}

int MainWindow::getMemoryForWaveForming(int) { return 0; }
int MainWindow::getMemoryForEQ(int) { return 0; }
void MainWindow::resetEQparameters(int) {}
void MainWindow::serachZOLTUSBAudio() {}
bool MainWindow::loadAsioDriver() { return true; }
