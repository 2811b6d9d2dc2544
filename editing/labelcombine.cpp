#include "editing/labelcombine.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

labelCombine::labelCombine(QWidget *parent) : QLabel(parent) {}

void labelCombine::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasFormat(QStringLiteral("text/uri-list"))) event->acceptProposedAction();
}

void labelCombine::dropEvent(QDropEvent *event) {
    // Only the first file counts. A list without URLs, or a URL that is no
    // local file, leaves an empty path, which the window ignores.
    const QList<QUrl> urls = event->mimeData()->urls();
    mPath = urls.isEmpty() ? QString() : urls.first().toLocalFile();
    event->acceptProposedAction();
    emit dropedFile();
}

void labelCombine::mousePressEvent(QMouseEvent *event) { event->accept(); }
