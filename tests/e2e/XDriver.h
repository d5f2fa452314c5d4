// What a person does at the screen, done with the X command-line tools:
// finds a program's windows, clicks, types, and looks at the screen.
#pragma once

#include <QImage>
#include <QList>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

// A mapped top-level window: its client area in screen coordinates,
// without the frame the window manager puts round it.
struct XWindow {
    qulonglong id = 0;
    QString name;
    QRect rect;
};

class XDriver
{
public:
    explicit XDriver(const QProcessEnvironment& env) : m_env(env) {}

    // The viewable windows of process `pid`, popup menus included.
    QList<XWindow> windows(qint64 pid) const;
    // One xdotool command line; commands may be chained.
    bool xdotool(const QStringList& args) const;
    bool click(QPoint at, int button = 1) const;
    bool key(const QString& keys) const;
    // Gives `window` the keyboard, as clicking its title bar would.
    bool activate(const XWindow& window) const;
    // The middle of the close box in the frame's title bar, or (-1, -1).
    QPoint closeBox(const XWindow& window) const;
    // The text on the clipboard, as another program would paste it.
    QString clipboard() const;
    // What the screen shows in `rect`; a null image if that failed.
    QImage grab(const QRect& rect) const;
    // Saves the whole screen as <temporary folder>/<name>-<test function>.png
    // for a failed test's report; the file's path.
    QString saveScreen(const QString& name) const;

private:
    // The windows among `ids` in an `xwininfo -root -tree` listing.
    static QList<XWindow> windowsIn(const QByteArray& tree, const QList<QByteArray>& ids);
    QByteArray run(const QString& program, const QStringList& args, bool* ok = nullptr,
                   QByteArray* errors = nullptr) const;

    QProcessEnvironment m_env;
};
