// One drop area of the combine window: a label that takes a file dragged
// from the desktop and keeps its local path for the window to check.
// Clicks do nothing.
#pragma once

#include <QLabel>
#include <QString>

class labelCombine : public QLabel {
    Q_OBJECT
public:
    explicit labelCombine(QWidget *parent = nullptr);

    // The local path of the last drop, or of the last "Select" choice (empty
    // when that was cancelled or the drop carried no local file).
    QString path() const { return mPath; }
    void setPath(const QString &path) { mPath = path; }

signals:
    void dropedFile();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString mPath;
};
