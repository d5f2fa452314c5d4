// SIGINT, SIGTERM and SIGHUP as a Qt signal: the handler only writes a byte
// to a pipe that the event loop watches, so the program ends the normal way,
// from its event loop, with its destructors run. One at a time: the handlers
// are process-wide, and the default ones come back when it goes. On
// Windows, which has none of these signals, it does nothing.
#pragma once

#include <QObject>

class QSocketNotifier;

class ShutdownSignals : public QObject
{
    Q_OBJECT
public:
    explicit ShutdownSignals(QObject* parent = nullptr);
    ~ShutdownSignals() override;

signals:
    void received(int signalNumber);

private:
    static void handle(int signalNumber);
    void drain();

    static inline int s_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
