#include "app/StoredValues.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "app/Child.h"
#include "platform/Registry.h"

namespace StoredValues {

const char* const PhotometryNames[5] = {"Aperture", "Annulus Inner", "Annulus Outer", "Zero Point",
                                        "Intergration Time"};

// Each reader answers nothing for a value it cannot read, whatever the reason.
std::optional<int> Integer(const TRegistry& Reg, const QString& Name, int Min, int Max) {
  try {
    const int v = Reg.ReadInteger(Name);
    if (v >= Min && v <= Max) return v;
  } catch (...) {
  }
  return std::nullopt;
}

std::optional<double> Float(const TRegistry& Reg, const QString& Name, double Min, double Max) {
  try {
    const double v = Reg.ReadFloat(Name);
    if (std::isfinite(v) && v >= Min && v <= Max) return v;
  } catch (...) {
  }
  return std::nullopt;
}

std::optional<bool> Bool(const TRegistry& Reg, const QString& Name) {
  try {
    return Reg.ReadBool(Name);
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<QString> String(const TRegistry& Reg, const QString& Name) {
  try {
    if (Reg.ValueExists(Name)) return Reg.ReadString(Name);
  } catch (...) {
  }
  return std::nullopt;
}

QRect OnScreens(int Left, int Top, int Width, int Height) {
  // Far beyond any screen, and small enough that no sum overflows.
  constexpr int Far = 1 << 24;
  const QRect stored(std::clamp(Left, -Far, Far), std::clamp(Top, -Far, Far), std::clamp(Width, 1, Far),
                     std::clamp(Height, 1, Far));
  QScreen* screen = nullptr;
  qint64 most = 0;
  for (QScreen* s : QGuiApplication::screens()) {
    const QRect common = s->availableGeometry().intersected(stored);
    const qint64 area = common.isEmpty() ? 0 : qint64(common.width()) * common.height();
    if (area > most) {
      most = area;
      screen = s;
    }
  }
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return stored;
  const QRect area = screen->availableGeometry();
  const int w = std::min(stored.width(), area.width()), h = std::min(stored.height(), area.height());
  return QRect(std::clamp(stored.left(), area.left(), area.left() + area.width() - w),
               std::clamp(stored.top(), area.top(), area.top() + area.height() - h), w, h);
}

TPhotometryValues ReadPhotometry() {
  TPhotometryValues v;
  TRegistry reg;
  if (!reg.OpenKey(QString::fromLatin1(ApplicationKey), false)) return v;
  const auto name = [](int i) { return QString::fromLatin1(PhotometryNames[i]); };
  v.Aperture = Integer(reg, name(0), 0, MaxRadius).value_or(v.Aperture);
  v.AnnulusInner = Integer(reg, name(1), 0, MaxRadius).value_or(v.AnnulusInner);
  v.AnnulusOuter = Integer(reg, name(2), 0, MaxRadius).value_or(v.AnnulusOuter);
  v.ZeroPoint = Float(reg, name(3), 0.0, MaxPhotometryValue).value_or(v.ZeroPoint);
  v.IntegrationTime = Float(reg, name(4), MinIntegrationTime, MaxPhotometryValue).value_or(v.IntegrationTime);
  reg.CloseKey();
  return v;
}

}  // namespace StoredValues
