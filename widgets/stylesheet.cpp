#include "widgets/stylesheet.h"

#include <QFile>
#include <QWidget>

QString styleSheet_read(const QString &resourcePath) {
    QFile file(resourcePath);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromLatin1(file.readAll());
}

void styleSheet_apply(QWidget *widget, const QString &resourcePath) {
    widget->setStyleSheet(styleSheet_read(resourcePath));
}
