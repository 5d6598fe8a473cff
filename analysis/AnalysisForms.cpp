#include <QAction>

#include "analysis/ContourPlotForm.h"
#include "analysis/HistogramForm.h"
#include "analysis/LinePlotForm.h"
#include "analysis/LinePlotSetupForm.h"
#include "analysis/RadialPlotForm.h"
#include "analysis/StatisticsFormEx.h"
#include "analysis/StatisticsImagesForm.h"
#include "app/FormGroups.h"
#include "app/Main.h"

namespace {
template <typename T>
void Free(T*& Global) {
  delete Global;
  Global = nullptr;
}
}  // namespace

void CreateAnalysisForms(TMainForm* Form) {
  frmStatisticsResults = new TfrmStatisticsResults(Form);
  frmStatisticsImages = new TfrmStatisticsImages(Form);
  frmHistogram = new TfrmHistogram(Form);
  frmLinePlotSetup = new TfrmLinePlotSetup(Form);
  frmLinePlot = new TfrmLinePlot(Form);
  frmRadialPlot = new TfrmRadialPlot(Form);
  frmContourPlot = new TfrmContourPlot(Form);
  // The main window keeps the report's bounds with its settings.
  Form->StatisticsResultsWindow = frmStatisticsResults;

  auto on = [Form](const char* Name, auto Handler) {
    QObject::connect(Form->Action(QString::fromLatin1(Name)), &QAction::triggered, Form, Handler);
  };
  on("StatisticsImageStats", [] { frmStatisticsResults->AddImageStatistics(false); });
  on("StatisticsAreaStats", [] { frmStatisticsResults->AddImageStatistics(true); });
  on("StatisticsImagesStats", [] { frmStatisticsImages->ShowModal(); });
  on("StatisticsResults", [] { frmStatisticsResults->ShowReport(); });
  on("StatisticsImageHisto", [] { frmHistogram->Execute(false); });
  on("StatisticsAreaHisto", [] { frmHistogram->Execute(true); });
  on("StatisticsRadialPplot", [] { frmRadialPlot->Execute(); });
  on("StatisticsLinePlot", [] { frmLinePlotSetup->Execute(); });
  on("StatisticsContour", [Form] {
    frmContourPlot->Execute();
    Form->QuickLinearScaleUpdate();
  });
}

void FreeAnalysisForms() {
  if (MainForm) MainForm->StatisticsResultsWindow = nullptr;
  Free(frmContourPlot);
  Free(frmRadialPlot);
  Free(frmLinePlot);
  Free(frmLinePlotSetup);
  Free(frmHistogram);
  Free(frmStatisticsImages);
  Free(frmStatisticsResults);
}
