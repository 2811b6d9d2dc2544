// The track context menu: a graphics scene whose context menu offers
// "Delete Track" and reports the choice as deleteTrackEvent(). No view in
// the program shows it; it is kept for a track view that would.
//
// GUI thread only.
#pragma once

#include <QGraphicsScene>
#include <QMenu>

class QGraphicsSceneContextMenuEvent;

class contextWaveArea : public QGraphicsScene {
    Q_OBJECT
public:
    contextWaveArea();

    // The menu, for owners and tests that need to see it.
    QMenu *menu() { return &mMenu; }

signals:
    void deleteTrackEvent();

public slots:
    void deleteTrack();

protected:
    // Opens the menu at the event's screen position and waits for the choice.
    void contextMenuEvent(QGraphicsSceneContextMenuEvent *event) override;

private:
    QMenu mMenu;
};
