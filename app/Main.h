#pragma once
// The program's main window: a multiple-document frame with the status bar.
#include <QMainWindow>
#include <array>

class QLabel;
class QMdiArea;

class TMainForm : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainForm(QWidget* Parent = nullptr);

  static constexpr int PanelCount = 5;
  static constexpr std::array<int, PanelCount> PanelWidths{250, 85, 125, 125, 50};

  QMdiArea* MDIArea() const { return FMDIArea; }
  void SetPanelText(int Panel, const QString& Text);
  QString PanelText(int Panel) const;
  QLabel* Panel(int Index) const { return FPanels[Index]; }

 private:
  QMdiArea* FMDIArea = nullptr;
  std::array<QLabel*, PanelCount> FPanels{};
};

extern TMainForm* MainForm;
