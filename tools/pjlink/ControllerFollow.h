// Joins the simulated projector to a virtual controller: follows the
// controller's log (lumo-vc's output, as a file it writes) and switches the
// projector as the real controller would switch the real one, on for the
// letter 'c' (projector on) and off for 'd' (projector off) received on
// one of its ports.
#pragma once

#include <QFile>
#include <QObject>
#include <QTimer>


class ControllerFollow : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype kMaxLine = 4096;

    // Follows `path` from its current end, for bytes received on `port` ("COM1").
    ControllerFollow(const QString& path, const QString& port, QObject* parent = nullptr);
    bool Start(QString* error);

    // The letter in one line of the controller's log
    // ("12:00:00.000  COM1  c  投影机开  projector on") if it was received
    // on `port`, else 0.
    static char LetterOf(const QByteArray& line, const QByteArray& port);

signals:
    void letter(char letter);

private:
    void readMore();

    QFile m_file;
    QByteArray m_port;
    QByteArray m_line;
    QTimer m_poll;
};
