// A pseudo-terminal pair standing in for a serial cable: the program opens
// the slave side by its path, the test reads and writes the master side.
#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

class Pty
{
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs = 3000);
    // Whatever arrives within `waitMs`.
    QByteArray readAvailable(int waitMs = 50);
    void write(const QByteArray& data);
    // The line settings of the slave side, as the program left them.
    termios slaveTermios() const;
    // The far end goes away, as a pulled USB adapter does.
    void close();

private:
    int m_master = -1;
    int m_slave = -1; // held so the pair lives while the program has the slave closed
    QString m_slavePath;
};
