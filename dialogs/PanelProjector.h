// The panel's projector, where [projector] url= in Lumo.conf names one
// (DeviceChoice::ProjectorUrl): the projector part is loaded then only, so
// that the panel maps no Qt Network otherwise, and the projector is polled
// every 30 s; `changed` says its state in a line (power in words, lamp
// hours, errors, or why it cannot be reached).
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ProjectorLink;

class PanelProjector : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 30'000;

    // nullptr where `url` is empty (no projector); otherwise polling at once,
    // or saying in Text() why it cannot (the part, the URL).
    static PanelProjector* Make(const QString& url, QObject* parent);

    QString Text() const { return m_text; }

signals:
    void changed(const QString& text);

private:
    explicit PanelProjector(QObject* parent);
    void show();
    void say(const QString& text);

    ProjectorLink* m_link = nullptr;
    QTimer m_poll;
    QString m_text;
};
