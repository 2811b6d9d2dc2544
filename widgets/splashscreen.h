// The picture shown while the main window is being built, with the version
// line and the rights notice laid over it in the picture's own pixel
// coordinates (the picture is 600 x 444).
#pragma once

#include <QSplashScreen>

class QLabel;

class snxSplashScreen : public QSplashScreen {
    Q_OBJECT
public:
    explicit snxSplashScreen(const QPixmap &pixmap = QPixmap(), Qt::WindowFlags flags = Qt::WindowFlags());

    // Each places and fills only the label it is given.
    void arrangeLabelVersion(QLabel *label);
    void arrangeLabelCopyright(QLabel *label);

private:
    QLabel *labelVersion;
    QLabel *labelCopyright;
};
