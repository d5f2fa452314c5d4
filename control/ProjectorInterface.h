// What the projector part (liblumo-pjlink.so, or linked in) offers: links
// to projectors named pjlink://HOST[:PORT], and a listener for their
// notices. Only control-layer types cross it, so its users need no Qt
// Network. Its version changes whenever this interface or those types change.
#pragma once

#include <QtPlugin>

#include <QByteArray>
#include <QString>

class ProjectorLink;
class ProjectorNotices;
class QObject;

class ProjectorInterface
{
public:
    virtual ~ProjectorInterface() = default;

    // A link to the projector at `url` (pjlink://HOST[:PORT]) that answers to
    // `password` (empty: none), owned by `parent`; nullptr with `error`
    // naming the URL and what is wrong with it.
    virtual ProjectorLink* Make(const QString& url, const QByteArray& password, QObject* parent,
                                QString* error) const = 0;
    // A listener for notices on UDP `port` (0: any free one), owned by
    // `parent`; nullptr with `error` saying why it cannot listen.
    virtual ProjectorNotices* Listen(quint16 port, QObject* parent, QString* error) const = 0;
};

#define ProjectorInterface_iid "net.lumopanel.Lumo.Projector/1.0"
Q_DECLARE_INTERFACE(ProjectorInterface, ProjectorInterface_iid)
