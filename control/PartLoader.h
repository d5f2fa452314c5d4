// Where the program finds the parts that only some of its users need, and
// loads them. On Linux the panel is built without the network serial device,
// the phone remote and the campus service: they come with Qt Network, the
// HTTP server and OpenSSL, which the panel's start must not wait for. Each
// is a file of its own beside the program (in the build) or in the
// installation's private folders, loaded when first used. Programs that
// link a part in (Windows, the service, the tests) register its entry points
// at start instead (each part's *Linked.cpp), and nothing is loaded.
#pragma once

#include <QFunctionPointer>
#include <QString>

class PartLoader
{
public:
    // The installed file `fileName` of the program: beside the running
    // program, or where the installation keeps it; empty when neither has it.
    static QString Find(const QString& fileName);

    // The entry point `symbol` of the part `part`: the one linked in, or
    // else the part library liblumo-PART.so's, loaded once and kept for the
    // life of the process; nullptr, with `error` saying why, when the part is
    // missing or broken. Safe from any thread.
    static QFunctionPointer Resolve(const QString& part, const char* symbol, QString* error);

    // Makes `function` the entry point `symbol`, for a part linked in.
    static void Link(const char* symbol, QFunctionPointer function);
};
