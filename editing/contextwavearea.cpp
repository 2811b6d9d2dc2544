#include "editing/contextwavearea.h"

#include <QAction>
#include <QGraphicsSceneContextMenuEvent>

contextWaveArea::contextWaveArea() {
    QAction *remove = mMenu.addAction(tr("Delete Track"));
    connect(remove, &QAction::triggered, this, &contextWaveArea::deleteTrack);
}

void contextWaveArea::deleteTrack() { emit deleteTrackEvent(); }

void contextWaveArea::contextMenuEvent(QGraphicsSceneContextMenuEvent *event) { mMenu.exec(event->screenPos()); }
