// What the history says of each room over a time: its commands by face, and
// the hours its projector was on. Where the records hold what the projector
// itself reported (face "projector", code "observed", power-on and
// power-off, written as the campus service polls it), the hours are
// measured from those; elsewhere they are inferred from the projector-on
// and projector-off commands that went out (the controller reports nothing
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
        QMap<QString, int> byFace; // face → commands (observed power not counted)
        double projectorHours = 0;
        bool measured = false; // the hours are from what the projector reported
        bool switched = false; // anything says its projector was switched
    };
    // The rooms of `entries` (in any order), by room ID; a projector still on
    // at `until` counts until then.
    static QList<Room> Of(QList<History::Entry> entries, const QDateTime& until);
    // Whether `entry` is the projector's own report of its power.
    static bool Observed(const History::Entry& entry);
};
