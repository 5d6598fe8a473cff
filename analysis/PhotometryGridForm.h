#pragma once
// "Photometry Results": the one tool window that collects every photometry
// result of the program, one row per measured aperture, until cleared. It
// saves the rows as comma-separated values or as fixed-width text, and prints
// them.
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

class QAction;
class QMenuBar;
class QTableWidget;
class TFileDialog;

class TfrmPhotometryGrid : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmPhotometryGrid(QWidget* Parent = nullptr);
  ~TfrmPhotometryGrid() override;

  static constexpr int ColCount = 8;
  static constexpr int InitialRowCount = 64;

  QMenuBar* MainMenu = nullptr;
  QAction* SaveAs1 = nullptr;
  QAction* Print1 = nullptr;
  QAction* Clearresults1 = nullptr;
  QTableWidget* Grid = nullptr;
  std::unique_ptr<TFileDialog> SaveDialog;

  // Writes the next free row and advances it; the grid grows as it fills.
  void AddResult(const QString& ImageName, int ApertureNo, double Magnitude, float X, float Y, double RefMagnitude,
                 double StarADU, double SkyADU);
  int NextRow() const { return FNextRow; }
  QString Cell(int Row, int Col) const;

  void FormShow();
  void SaveAs1Click();
  void Print1Click();
  void Clearresults1Click();

  // Writes the rows to FileName in the format its extension names (".CSV" or
  // ".TXT", any case); false, with a warning, when nothing was written.
  bool SaveToFile(const QString& FileName);
  // The comma-separated text: every row up to its first empty cell, each
  // written row ended by a carriage return; a field holding a comma, quote or
  // line break is quoted.
  QByteArray CSVText() const;
  // The lines of the text report (title, headers, rule, one line per
  // result), for the ".TXT" file and the printer alike.
  QStringList ReportLines() const;

 protected:
  void showEvent(class QShowEvent* Event) override;

 private:
  void SetCell(int Row, int Col, const QString& Text);
  int FNextRow = 1;
};
extern TfrmPhotometryGrid* frmPhotometryGrid;
