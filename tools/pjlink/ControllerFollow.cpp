#include "ControllerFollow.h"

#include <QList>

namespace
{
// How often the log is read for what it gained.
constexpr int kPollMs = 100;
} // namespace

ControllerFollow::ControllerFollow(const QString& path, const QString& port, QObject* parent)
    : QObject(parent), m_file(path), m_port(port.toLatin1())
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &ControllerFollow::readMore);
}

bool ControllerFollow::Start(QString* error)
{
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_file.seek(m_file.size());
    m_poll.start();
    return true;
}

char ControllerFollow::LetterOf(const QByteArray& line, const QByteArray& port)
{
    const QList<QByteArray> words = line.simplified().split(' ');
    if (words.size() < 3 || words[1] != port || words[2].size() != 1)
        return 0;
    return words[2][0];
}

void ControllerFollow::readMore()
{
    if (m_file.size() < m_file.pos())
        m_file.seek(0); // written anew
    char chunk[4096];
    qint64 got = 0;
    while ((got = m_file.read(chunk, sizeof chunk)) > 0) {
        for (qint64 i = 0; i < got; ++i) {
            if (chunk[i] == '\n') {
                if (const char c = LetterOf(m_line, m_port))
                    emit letter(c);
                m_line.clear();
            } else if (m_line.size() < kMaxLine) {
                m_line += chunk[i];
            }
        }
    }
}
