// What the end-to-end suites (the Linux program, and the Windows program
// under Wine) check and do on a screen and a serial line, shared by both.
#pragma once

#include "Pty.h"
#include "XDriver.h"
#include "res/DialogTemplate.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

namespace ScreenChecks
{
inline constexpr int kWaitMs = 15000; // for windows and bytes: generous, the machine may be busy
inline constexpr QRgb kPink = qRgb(255, 140, 220);
inline constexpr QSize kPictureSize(120, 40);

// Polls `condition` every 20 ms until it holds or `timeoutMs` passed.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = kWaitMs);
QString caption(const DialogTemplate& t);
// Everything the program could have changed on the line, printable.
QString lineSettings(const Pty& pty);
bool is9600_8N1(const Pty& pty);
QPoint controlCentre(const XWindow& window, const DialogTemplate& t, int controlId);
// xdotool arguments that click at `p`.
QStringList clickAt(QPoint p);
bool nearBlack(QRgb c);
// The pixels of `image` on the `width`-pixel border of `r`.
QList<QRgb> frameOf(const QImage& image, const QRect& r, int width);
int pinkShare(const QImage& image); // per cent
// Why picture button `c` on the panel screenshot `panel` is not a drawn
// 120 x 40 picture on the dialog's background; empty when it is.
QString pictureFault(const QImage& panel, const QRect& picture);
} // namespace ScreenChecks
