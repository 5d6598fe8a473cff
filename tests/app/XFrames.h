#pragma once
// Windows as the X server and its window manager have them: frames and
// stacking read with xwininfo and xprop (x11-utils), for the tests that run
// under Xvfb with a window manager. The toolkit learns a window's frame late
// and may miss it on a loaded machine; the window manager's own account does
// not.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace XFrames {

inline QString Run(const QString& Program, const QStringList& Args) {
  QProcess p;
  p.start(Program, Args);
  if (!p.waitForFinished(20000) || p.exitCode() != 0) {
    ADD_FAILURE() << Program.toStdString() << " failed or is missing";
    return {};
  }
  return QString::fromLatin1(p.readAllStandardOutput());
}

// The window's X window: the toolkit makes a new one for a window whose
// stacking layer changes before it maps.
inline WId XWindow(const QWidget* W) { return W->windowHandle() ? W->windowHandle()->winId() : 0; }

// The frame as the window manager has it (the toolkit learns it late, and
// may miss it); empty while the window is not framed and shown.
inline QRect Frame(const QWidget* W) {
  const QString id = QString::number(XWindow(W));
  const QString info = Run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id});
  static const QRegularExpression number(QStringLiteral("-?\\d+"));
  const auto value = [&info](const char* Name) {
    const QRegularExpressionMatch m =
        QRegularExpression(QString::fromLatin1(Name) + QStringLiteral(":\\s+(-?\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
  };
  const QString extents = Run(QStringLiteral("xprop"), {QStringLiteral("-id"), id, QStringLiteral("_NET_FRAME_EXTENTS")});
  QList<int> e;
  for (auto m = number.globalMatch(extents.section(QLatin1Char('='), 1)); m.hasNext();) e << m.next().captured(0).toInt();
  if (!info.contains(QLatin1String("IsViewable")) || e.size() != 4 || e[2] == 0) return {};
  return QRect(value("Absolute upper-left X") - e[0], value("Absolute upper-left Y") - e[2], value("Width") + e[0] + e[1],
               value("Height") + e[2] + e[3]);
}

// Once the window manager has framed W and its frame has held still for a
// while (a loaded machine frames late): false when that never came.
inline bool Settled(QWidget* W, int Ms = 8000) {
  QRect last = Frame(W);
  QElapsedTimer clock;
  clock.start();
  for (QElapsedTimer still; clock.elapsed() < Ms;) {
    QTest::qWait(50);
    const QRect now = Frame(W);
    if (now != last || now.isEmpty()) {
      last = now;
      still.invalidate();
    } else if (!still.isValid()) {
      still.start();
    } else if (still.elapsed() >= 400) {
      return true;
    }
  }
  return false;
}

// The windows from the bottom of the stack to the top, as the window manager
// stacks them.
inline QList<WId> Stacking() {
  QList<WId> ids;
  static const QRegularExpression hex(QStringLiteral("0x[0-9a-f]+"));
  const QString list = Run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
  for (auto m = hex.globalMatch(list); m.hasNext();) ids << WId(m.next().captured(0).toULongLong(nullptr, 16));
  return ids;
}

}  // namespace XFrames
