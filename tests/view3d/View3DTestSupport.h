#pragma once
// The 3-D view tests' numpy oracle, a synthetic star, and a helper that acts
// inside a modal window once it is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <functional>

namespace view3dtest {

// Runs tests/oracles/<Script> <in> <out> on Input and returns what it wrote.
inline QByteArray RunOracle(const char* Script, const QByteArray& Input) {
  QTemporaryDir dir;
  QFile in(dir.filePath(QStringLiteral("in"))), out(dir.filePath(QStringLiteral("out")));
  if (!in.open(QIODevice::WriteOnly) || in.write(Input) != Input.size()) return {};
  in.close();
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles/") +
                                                   QLatin1String(Script), in.fileName(), out.fileName()});
  EXPECT_TRUE(p.waitForFinished(120000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
  return out.open(QIODevice::ReadOnly) ? out.readAll() : QByteArray();
}

// A Gaussian star of peak 1000 on a floor of 10.
inline float Star(int x, int y, int W, int H) {
  const double s = std::min(W, H) / 8.0, dx = x - (W - 1) / 2.0, dy = y - (H - 1) / 2.0;
  return float(10.0 + 1000.0 * std::exp(-(dx * dx + dy * dy) / (2 * s * s)));
}

// Calls Act once Wanted is the open modal window; polls the event loop and
// gives up after about 20 s (the test then fails on what Act did not do).
inline void WhenModal(QWidget* Wanted, std::function<void()> Act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, Wanted] {
    const bool open = QApplication::activeModalWidget() == Wanted && Wanted->isVisible();
    if (!open && ++*tries < 2000) return;
    timer->stop();
    timer->deleteLater();
    if (open) Act();
  });
  timer->start(10);
}

}  // namespace view3dtest
