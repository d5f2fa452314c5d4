// What the history says of each room over a time: its commands by face, and
// the hours its projector was on as inferred from the projector-on and
// projector-off commands that went out (the controller reports nothing
// back: a projector switched by hand, or a command lost on the way, is not
// seen).
#pragma once

#include "serve/history/History.h"

#include <QMap>

class HistorySummary
{
public:
    struct Room {
        QString room;
        QMap<QString, int> byFace; // face → commands
        double projectorHours = 0;
    };
    // The rooms of `entries` (in any order), by room ID; a projector still on
    // at `until` counts until then.
    static QList<Room> Of(QList<History::Entry> entries, const QDateTime& until);
};
