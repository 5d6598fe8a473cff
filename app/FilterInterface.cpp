#include "app/FilterInterface.h"

#include "app/Child.h"
#include "app/Main.h"
#include "app/Utilities.h"
#include "engine/ColProcessing.h"
#include "engine/Processing.h"

using K = TStandardFilterKind;

// Codes 6 and 7 are the horizontal and the vertical edge kernel: the vertical
// detector comes first in the menu.
const TStandardFilter StandardFilters[StandardFilterCount] = {
    {"FilterSharpenLittle", "Sharpen Little", K::Kernel, 1, 3},
    {"FilterSharpenMore", "Sharpen More", K::Kernel, 2, 3},
    {"FilterBlurLittle", "Blur Little", K::Kernel, 3, 3},
    {"FilterBlurMore", "Blur More", K::Kernel, 4, 3},
    {"FilterPointDetector", "Point Detector", K::Kernel, 5, 3},
    {"FilterVertEdge", "Vertical Edge Detector", K::Kernel, 7, 3},
    {"FilterHorzEdge", "Horizontal Edge Detector", K::Kernel, 6, 3},
    {"FilterLaplacian", "Laplacian", K::Kernel, 8, 3},
    {"FilterPrewittNorth", "Prewitt North", K::Kernel, 9, 3},
    {"FilterPrewittSouth", "Prewitt South", K::Kernel, 10, 3},
    {"FilterPrewittEast", "Prewitt East", K::Kernel, 11, 3},
    {"FilterPrewittWest", "Prewitt West", K::Kernel, 12, 3},
    {"FilterSobel", "Sobel", K::Sobel, 0, 3},
    {"FilterMinimum", "Minimum Filter", K::MinMax, 0, 3},
    {"FilterMaximum", "Maximum Filter", K::MinMax, 1, 3},
    {"FilterMedian3", "Median 3 x 3", K::Median, 0, 3},
    {"FilterMedian5", "Median 5 x 5", K::Median, 0, 5},
    {"FilterMedian7", "Median 7 x 7", K::Median, 0, 7},
    {"FilterMean3", "Mean 3 x 3", K::Mean, 0, 3},
    {"FilterMean5", "Mean 5 x 5", K::Mean, 0, 5},
    {"FilterMean7", "Mean 7 x 7", K::Mean, 0, 7},
};

void RunStandardFilter(int Index, TDataImage& Dst, TDataImage& Src) {
  if (Index < 0 || Index >= StandardFilterCount) return;
  const TStandardFilter& f = StandardFilters[Index];
  const bool colour = Src.IsColour;
  switch (f.Kind) {
    case K::Kernel:
      colour ? ColConvolvePreset(f.Code, Dst, Src) : Filter3x3(f.Code, Dst, Src);
      break;
    case K::Sobel:
      colour ? ColGradient(Dst, Src) : SobelFilter(Dst, Src);
      break;
    case K::MinMax:
      colour ? ColMinMaxFilter(f.Code, f.Size, Dst, Src) : MinMaxFilter(f.Code, f.Size, Dst, Src);
      break;
    case K::Median:
      colour ? ColMedianFilter(f.Size, Dst, Src) : MedianFilter(f.Size, Dst, Src);
      break;
    case K::Mean:
      colour ? ColBoxFilter(f.Size, Dst, Src) : MeanFilter(f.Size, Dst, Src);
      break;
  }
}

void ApplyStandardFilter(int Index) {
  if (!MainForm || Index < 0 || Index >= StandardFilterCount) return;
  TChildForm* source = MainForm->ActiveMDIChild();
  if (!source) return;
  TChildForm* result = CopyImageWindow(source);
  if (!result) return;
  TFailureWatch watch;
  RunStandardFilter(Index, *result->DataImage, *source->DataImage);
  if (watch.Failed()) {
    result->Discard();  // the routine has said why
    return;
  }
  result->SetCaption(QString::fromLatin1(StandardFilters[Index].Caption));
  result->UpdateImage();
  MainForm->QuickLinearScaleUpdate();
}
