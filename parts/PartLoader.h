// Where the program finds the parts that only some of its users need, and
// loads them. On Linux the panel is built without the network serial device,
// the campus client, the phone remote and the projector part: they come with
// Qt Network and the HTTP server, which the panel's start must not wait for.
// Each is a Qt plugin of its own (liblumo-PART.so) beside the program in the
// build, or in the installation's private folder, loaded when first used. A
// program that links a part in (Windows, the service, the tests) has it as a
// static plugin, which is found first; nothing is loaded then.
//
// Each part offers one interface, declared with Q_DECLARE_INTERFACE under a
// versioned ID ("net.lumopanel.Lumo.NetworkDevice/1.0"); a part file that
// offers another version is refused with both versions named.
#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QString>

class PartLoader
{
    Q_DECLARE_TR_FUNCTIONS(PartLoader)

public:
    // The installed file `fileName` of the program: beside the running
    // program, or where the installation keeps it; empty when neither has it.
    static QString Find(const QString& fileName);

    // The file the part `part` is in: "liblumo-network.so".
    static QString FileName(const QString& part);

    // The part `part`'s object with the interface `Interface`: the one linked
    // in, or else liblumo-PART.so's, loaded once and kept for the life of the
    // process; nullptr, with `error` naming the file and saying why, when the
    // part is missing, of another version or broken. Safe from any thread.
    template <class Interface>
    static Interface* Load(const QString& part, QString* error)
    {
        return qobject_cast<Interface*>(Instance(part, qobject_interface_iid<Interface*>(), error));
    }

    // The same for the interface ID `iid`.
    static QObject* Instance(const QString& part, const char* iid, QString* error);
};
