#include "XDriver.h"

#include <QDir>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

QList<XWindow> XDriver::windows(qint64 pid) const
{
    // A window that goes away while the tools walk the tree makes them fail
    // with an X error; then they look again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        bool ok = false;
        QByteArray errors;
        const QByteArray ids = run(QStringLiteral("xdotool"),
                                   {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                    QStringLiteral("--pid"), QString::number(pid)},
                                   &ok, &errors);
        if (!ok && !errors.isEmpty())
            continue; // not just "nothing found"
        const QByteArray tree = run(QStringLiteral("xwininfo"),
                                    {QStringLiteral("-root"), QStringLiteral("-tree")}, &ok);
        if (ok)
            return windowsIn(tree, ids.split('\n'));
    }
    return {};
}

QList<XWindow> XDriver::windowsIn(const QByteArray& tree, const QList<QByteArray>& ids)
{
    // One tree listing gives every window's name, size and position on the screen:
    //      0x400006 "Lumo": ("lumo" "lumo")  410x102+1+20  +425+421
    static const QRegularExpression line(
        QStringLiteral(R"re(^\s*0x([0-9a-fA-F]+) (?:"([^"]*)"|\(has no name\)).*\s(\d+)x(\d+)\S*)re"
                       R"re(\s+\+(-?\d+)\+(-?\d+)\s*$)re"));
    QHash<qulonglong, XWindow> all;
    for (const QString& text : QString::fromUtf8(tree).split(u'\n')) {
        const QRegularExpressionMatch m = line.match(text);
        if (!m.hasMatch())
            continue;
        XWindow w;
        w.id = m.captured(1).toULongLong(nullptr, 16);
        w.name = m.captured(2);
        w.rect = QRect(m.captured(5).toInt(), m.captured(6).toInt(), m.captured(3).toInt(),
                       m.captured(4).toInt());
        all.insert(w.id, w);
    }
    QList<XWindow> result;
    for (const QByteArray& id : ids) {
        const auto it = all.constFind(id.trimmed().toULongLong());
        if (it != all.constEnd())
            result << *it;
    }
    return result;
}

bool XDriver::xdotool(const QStringList& args) const
{
    bool ok = false;
    run(QStringLiteral("xdotool"), args, &ok);
    return ok;
}

bool XDriver::click(QPoint at, int button) const
{
    // `mousemove --sync` waits for the pointer to leave where it is, about
    // 15 s when it is already at `at` (the same place clicked by an earlier
    // case): it comes from one pixel beside it.
    return xdotool({QStringLiteral("mousemove"), QString::number(at.x() + 1),
                    QString::number(at.y() + 1), QStringLiteral("mousemove"),
                    QStringLiteral("--sync"), QString::number(at.x()), QString::number(at.y()),
                    QStringLiteral("click"), QString::number(button)});
}

bool XDriver::key(const QString& keys) const
{
    return xdotool({QStringLiteral("key"), keys});
}

bool XDriver::activate(const XWindow& window) const
{
    return xdotool(
        {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window.id)});
}

QPoint XDriver::closeBox(const XWindow& window) const
{
    // _NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom
    const QByteArray out =
        run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.id),
                                      QStringLiteral("_NET_FRAME_EXTENTS")});
    const QList<QByteArray> extents = out.mid(out.indexOf('=') + 1).split(',');
    if (!out.contains('=') || extents.size() != 4)
        return {-1, -1};
    const int right = extents[1].trimmed().toInt();
    const int title = extents[2].trimmed().toInt();
    // A square box at the right end of the title bar, as high as the bar.
    return {window.rect.right() + right - title / 2, window.rect.top() - title / 2};
}

QImage XDriver::grab(const QRect& rect) const
{
    bool ok = false;
    const QByteArray ppm =
        run(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
             QStringLiteral("%1x%2+%3+%4")
                 .arg(rect.width())
                 .arg(rect.height())
                 .arg(rect.x())
                 .arg(rect.y()),
             QStringLiteral("+repage"), QStringLiteral("ppm:-")},
            &ok);
    QImage image;
    if (ok)
        image.loadFromData(ppm, "PPM");
    return image.size() == rect.size() ? image.convertToFormat(QImage::Format_RGB32) : QImage();
}

QString XDriver::saveScreen(const QString& name) const
{
    const QString path = QDir::temp().filePath(
        QStringLiteral("%1-%2.png").arg(name, QString::fromLatin1(QTest::currentTestFunction())));
    grab(QRect(0, 0, 1280, 1024)).save(path);
    return path;
}

QByteArray XDriver::run(const QString& program, const QStringList& args, bool* ok,
                        QByteArray* errors) const
{
    QProcess process;
    process.setProcessEnvironment(m_env);
    process.start(program, args);
    const bool finished = process.waitForFinished(30000);
    if (!finished) {
        process.kill();
        process.waitForFinished(3000);
    }
    if (ok)
        *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (errors)
        *errors = process.readAllStandardError();
    return process.readAllStandardOutput();
}

QString XDriver::clipboard() const
{
    bool ok = false;
    const QByteArray text =
        run(QStringLiteral("xclip"),
            {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")}, &ok);
    return ok ? QString::fromUtf8(text) : QString();
}
