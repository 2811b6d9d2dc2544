#include "widgets/tracktext.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace {

const char *const kUriList = "text/uri-list";

}  // namespace

trackText::trackText(QWidget *parent) : QTextEdit(parent) { setAcceptDrops(true); }

void trackText::dragEnterEvent(QDragEnterEvent *event) {
    if (event->mimeData()->hasFormat(QString::fromLatin1(kUriList))) event->acceptProposedAction();
}

void trackText::dragMoveEvent(QDragMoveEvent *event) {
    // The text editor's own move handling refuses a pure list of files, and a
    // refused move never gets its drop.
    if (event->mimeData()->hasFormat(QString::fromLatin1(kUriList))) event->acceptProposedAction();
}

void trackText::dropEvent(QDropEvent *event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty()) return;
    const QString path = urls.first().toLocalFile();
    if (path.isEmpty()) return;
    mPath = path;
    setText(path.split(QLatin1Char('/')).last());
    emit dragEventFinished();
}
