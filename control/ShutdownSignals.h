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

    // Holds the three signals back from the program's very start until a
    // ShutdownSignals is made (they then arrive): a reload asked for while
    // the program starts neither kills it nor is lost. Threads started
    // meanwhile keep them blocked, so they reach the main thread.
    static void HoldUntilHandled();

signals:
    void received(int signalNumber);

private:
    static void handle(int signalNumber);
    void drain();

    static inline int s_pipe[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};
