#pragma once
// What the 3-D view tests share: the numpy oracle, synthetic images, and a
// helper that acts inside a modal window once it is open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "engine/DataImage.h"

namespace view3dtest {

// Runs tests/oracles/<Script> <in> <out> on Input and returns what it wrote.
inline QByteArray RunOracle(const char* Script, const QByteArray& Input) {
  QTemporaryDir dir;
  const QString in = dir.filePath(QStringLiteral("in.bin")), out = dir.filePath(QStringLiteral("out.bin"));
  QFile f(in);
  if (!f.open(QIODevice::WriteOnly)) return {};
  f.write(Input);
  f.close();
  QProcess p;
  p.start(QStringLiteral("/usr/bin/python3"),
          {QStringLiteral(CORVELLE_SOURCE_DIR "/tests/oracles/") + QLatin1String(Script), in, out});
  p.waitForFinished(120000);
  EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  QFile r(out);
  if (!r.open(QIODevice::ReadOnly)) return {};
  return r.readAll();
}

// A grey floating-point image whose pixel (x, y) is F(x, y).
inline std::unique_ptr<TDataImage> GreyImage(int W, int H, const std::function<float(int, int)>& F) {
  auto img = std::make_unique<TDataImage>();
  img->Allocate(W, H, 3, false);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) img->Pixels[std::size_t(y) * W + x] = F(x, y);
  return img;
}

// A star: a Gaussian of the given peak and width on a faint floor.
inline float Star(int x, int y, int W, int H, float Peak = 1000.0f, float Sigma = 0.0f) {
  const double s = Sigma > 0 ? Sigma : std::min(W, H) / 8.0;
  const double dx = x - (W - 1) / 2.0, dy = y - (H - 1) / 2.0;
  return float(10.0 + Peak * std::exp(-(dx * dx + dy * dy) / (2 * s * s)));
}

// Calls Act with the modal window once it is the active modal one. It polls
// the event loop, so the window may open after any number of events; it gives
// up after about 20 s (the test then fails on what Act did not do).
inline void WhenModal(QWidget* Wanted, std::function<void()> Act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, Act, Wanted] {
    const bool open = QApplication::activeModalWidget() == Wanted && Wanted->isVisible();
    if (!open && ++*tries < 2000) return;
    timer->stop();
    timer->deleteLater();
    if (open) Act();
  });
  timer->start();
}

}  // namespace view3dtest
