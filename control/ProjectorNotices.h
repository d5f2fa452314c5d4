// The status notices that projectors send by UDP when their state changes,
// received for every watched projector from one socket. Made by the
// projector part; a notice from an address no watched projector has is
// dropped.
#pragma once

#include <QObject>

class ProjectorLink;

class ProjectorNotices : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The UDP port it listens on (the one it was given, or the one it got for 0).
    virtual quint16 Port() const = 0;
    // Notices from `link`'s address change its state (it emits `changed`),
    // until `link` is destroyed.
    virtual void Watch(ProjectorLink* link) = 0;

signals:
    // A notice from `address` that no watched projector has, or one that
    // could not be read; `reason` says which.
    void ignored(const QString& address, const QString& reason);
};
