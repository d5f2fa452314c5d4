// The campus page's parts for what the service does by itself and what it
// remembers, in the page's language: the schedules (next run, last outcome)
// and the groups on the rooms page, and the history page ("记录",
// GET /history): the schedules' runs of the time asked (the last 24 hours
// unless since= says) at the top, each run's rooms not sent named first
// with the reason; filters; the records a page at a time (keyset, as the
// JSON interface); a summary per room; the CSV.
#pragma once

#include "serve/history/History.h"
#include "phone/PhonePage.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QUrlQuery>

class RoomGroups;

class CarePage
{
public:
    using Language = PhonePage::Language;

    // What the history page shows.
    struct HistoryView {
        QString user;
        QUrlQuery query;
        QList<History::Entry> entries; // newest first; past kPageRows: there are more
        bool summary = false;          // entries holds every record found: summarise them
        QList<History::Entry> runs;    // the schedules' records of the time, newest first
        QDateTime since, until;        // the time of the runs
        QString error;
        QByteArray notice;             // HistoryNotice()
        QHash<QString, QString> names; // room ID → name
        QStringList groups;
        Language language = Language::Chinese;
    };

    // The rooms page's buttons that choose a group's rooms.
    static QByteArray Groups(const RoomGroups& groups, Language language);
    // The rooms page's section of schedules (Scheduler::State()).
    static QByteArray Schedules(const QJsonArray& schedules, const QHash<QString, QString>& names,
                                Language language);
    static QByteArray History(const HistoryView& view);
    // What the rooms and history pages say when the history is not kept as
    // it should be: the journal cannot be written, or the district's copy
    // is behind; nothing when all is well.
    static QByteArray HistoryNotice(const HistoryStatus& status, Language language);

    // A command's outcome code ("unreachable") and face ("schedule") in words.
    static QString OutcomeWord(const QString& code, Language language);
    static QString FaceWord(const QString& face, Language language);
    // A command's name ("projector-off") as the page says it: its label in
    // Chinese, its meaning in English.
    static QString CommandWord(const QString& name, Language language);

    static constexpr int kPageRows = 100;
    static constexpr int kMaxRuns = 10;
};
