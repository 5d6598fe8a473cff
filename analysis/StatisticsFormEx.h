#pragma once
// "Image Statistics": the stay-on-top report that collects one row of region
// statistics per grey image or area and three rows (red, green, blue) per
// colour image or area, until the user deletes them. It prints and saves as
// fixed-width text.
#include <QWidget>
#include <memory>

#include "engine/ColStatistics.h"
#include "engine/Statistics.h"

class QAction;
class QMenu;
class QTreeWidget;
class TFileDialog;

class TfrmStatisticsResults : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmStatisticsResults(QWidget* Parent = nullptr);
  ~TfrmStatisticsResults() override;

  QTreeWidget* lstStatistics = nullptr;
  QMenu* PopupMenu = nullptr;
  QAction* DeleteItem1 = nullptr;
  QAction* DeleteAllItems1 = nullptr;
  QAction* Print1 = nullptr;
  QAction* SaveAs1 = nullptr;
  TFileDialog& SaveDialog() { return *FSaveDialog; }

  // Statistics of the active image window: the whole image, or its region of
  // interest when Area is set.
  void AddImageStatistics(bool Area);
  // One row; X1..Y2 all 0 stand for the whole image.
  void AddGreyItem(const QString& Name, const TRegionStatistics& Stats, int X1, int Y1, int X2, int Y2);
  // Three rows: " - Red", " - Green", " - Blue".
  void AddColourItems(const QString& Name, const TColRegionStatistics& Stats, int X1, int Y1, int X2, int Y2);
  // Brings the report up and to the front.
  void ShowReport();

  void DeleteItem1Click();
  void DeleteAllItems1Click();
  void Print1Click();
  void SaveAs1Click();
  // The lines of the saved file and of the printed report.
  void WriteReport(class TReportWriter& Writer) const;

 private:
  std::unique_ptr<TFileDialog> FSaveDialog;
};
extern TfrmStatisticsResults* frmStatisticsResults;
