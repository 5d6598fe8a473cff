#pragma once
// The main window's status bar: five panels of fixed width; 0 the hint, 1 the
// image size, 2 the cursor position, 3 the pixel value, 4 unused.
#include <QStatusBar>
#include <array>

class QLabel;

class TQVRStatusBar : public QStatusBar {
  Q_OBJECT
 public:
  explicit TQVRStatusBar(QWidget* Parent = nullptr);

  static constexpr int PanelCount = 5;
  static constexpr std::array<int, PanelCount> PanelWidths{250, 85, 125, 125, 50};

  void SetPanelText(int Panel, const QString& Text);
  QString PanelText(int Panel) const;
  QLabel* Panel(int Index) const { return Index >= 0 && Index < PanelCount ? FPanels[Index] : nullptr; }

 private:
  std::array<QLabel*, PanelCount> FPanels{};
};
