// A file-name field that takes a dropped file: it keeps the file's local
// path, shows its name and reports the drop. No form creates it; it is
// reachable through the widget type registry.
#pragma once

#include <QString>
#include <QTextEdit>

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;

class trackText : public QTextEdit {
    Q_OBJECT
public:
    Q_INVOKABLE explicit trackText(QWidget *parent = nullptr);

    // The local path of the last dropped file; empty before the first.
    const QString &droppedPath() const { return mPath; }

signals:
    void dragEventFinished();

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QString mPath;
};
