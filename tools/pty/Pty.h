// A pseudo-terminal pair standing in for a serial cable: a program opens the
// slave side by its path, the other end reads and writes the master side.
// The tests, the virtual controller, the benchmarks and the fuzzer all make
// their lines with this class.
#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

class Pty
{
public:
    // Opens a pair with the slave side raw (no echo, no line editing) and
    // the master side non-blocking.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool isValid() const { return m_master >= 0; }
    // The reason the pair could not be opened.
    QString error() const { return m_error; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    // A second descriptor of the slave side, held so the pair lives while
    // the program has the slave closed.
    int slaveFd() const { return m_slave; }

    // Reads until `count` bytes came or `timeoutMs` passed.
    QByteArray read(int count, int timeoutMs = 3000);
    // Whatever arrives within `waitMs`.
    QByteArray readAvailable(int waitMs = 50);
    // Writes as much of `data` as the slave side takes within `timeoutMs`
    // (0: what it takes now); returns how much that was.
    qsizetype write(QByteArrayView data, int timeoutMs = 3000);
    // The line settings of the slave side, as the program left them.
    termios slaveTermios() const;
    // The far end goes away, as a pulled USB adapter does: the slave side
    // is hung up.
    void close();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_error;
};
