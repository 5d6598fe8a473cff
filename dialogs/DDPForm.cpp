#include "dialogs/DDPForm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "app/Child.h"
#include "app/FloatEdit.h"
#include "dialogs/BuddyLabel.h"
#include "dialogs/DialogControls.h"
#include "engine/ColProcessing.h"
#include "engine/ColStatistics.h"
#include "engine/Processing.h"
#include "engine/Statistics.h"
#include "platform/NumFormat.h"

TfrmDDP* frmDDP = nullptr;

using namespace DialogControls;

namespace {
// A value as the boxes take it: formatted with Decimals decimals ("0.00") and
// read back.
long double Rounded(long double V, int Decimals = 2) {
  long double r = 0;
  if (!NumFormat::TryStrToFloat(NumFormat::FormatFloat("0." + std::string(std::size_t(Decimals), '0'), V), r))
    return V;
  return r;
}

// The decimals a level of a histogram with bins BinWidth apart needs: two,
// and more where a bin is narrower than 0.1 (a normalised frame's bins are
// 1/255 wide), so that a level keeps its value to a twentieth of a bin and a
// level above 0 never shows as 0.
int LevelDecimals(long double BinWidth) {
  if (!(BinWidth > 0) || !std::isfinite(BinWidth)) return 2;
  return std::clamp(1 - int(std::floor(std::log10(BinWidth))), 2, 60);
}

// The first level whose running count exceeds 95 % of Pixels; -1 when none
// does. Skipped pixels of level 0 are left out of the count.
int NinetyFivePercentLevel(const std::array<std::int32_t, 256>& Counts, std::int64_t Pixels,
                           std::int64_t Skipped = 0) {
  const long double limit = 0.95L * (long double)Pixels;
  std::int64_t c = -Skipped;
  for (int i = 0; i < 256; ++i) {
    c += Counts[i];
    if ((long double)c > limit) return i;
  }
  return -1;
}

// The 95 % level of the pixels above level 0, for an image that is mostly 0:
// a mid-level of 0 would divide its dark pixels by 0. -1 when there are none.
int LevelAboveZero(std::array<std::int32_t, 256> Counts) {
  Counts[0] = 0;
  std::int64_t above = 0;
  for (std::int32_t n : Counts) above += n;
  return above > 0 ? NinetyFivePercentLevel(Counts, above) : -1;
}

// A level of 0 gives way to the level of the pixels above it.
int MidLevel(const std::array<std::int32_t, 256>& Counts, std::int64_t Pixels) {
  const int level = NinetyFivePercentLevel(Counts, Pixels);
  if (level != 0) return level;
  const int above = LevelAboveZero(Counts);
  return above > 0 ? above : level;
}

// The first level among 0..253 that holds at least 1/255 of Total; 254 when
// none does.
template <typename TCount>
int BackgroundLevel(const std::array<TCount, 256>& Counts, std::int64_t Total) {
  const long double least = (long double)Total / 255.0L;
  for (int j = 0; j <= 253; ++j)
    if (Counts[std::size_t(j)] != 0 && (long double)Counts[std::size_t(j)] >= least) return j;
  return 254;
}

int BackgroundLevel(const std::array<std::int32_t, 256>& Counts) {
  std::int64_t total = 0;
  for (std::int32_t n : Counts) total += n;
  return BackgroundLevel(Counts, total);
}

// Where 95 % of a frame lie in the histogram's lowest bin (a calibrated
// frame's sky far below its brightest star), its levels at the resolution
// the frame needs: 256 bins over that bin's values, and again over the
// lowest of those while the 95 % level still lies there. A and B are levels
// of the finest bins, whose width is Step. Skipped pixels at or below 0 are
// left out of A's count, not of B's.
struct TFineLevels {
  long double A = 0, B = 0, Step = 0;
};

bool FineLevels(const TDataImage& Image, float Scale, std::int64_t Skipped, TFineLevels& Levels) {
  const std::int64_t n = Image.Pixels ? Image.PixelCount() : 0;
  const float* p = Image.Pixels;
  const long double limit = 0.95L * (long double)(n - Skipped);
  if (n == 0) return false;
  // Bin 0 of a scale holds the values v with Round(v x scale) = 0, v x scale
  // <= 0.5 (a half rounds to even); 256 bins over them have 510 times the scale.
  double outer = Scale;
  // Each pass narrows the bins 510-fold: from the largest Single to the
  // smallest positive one takes 31.
  for (int pass = 0; pass < 40; ++pass) {
    const double scale = 510.0 * outer;
    if (!(scale > 0) || !std::isfinite(scale)) return false;
    std::array<std::int64_t, 256> counts{};
    for (std::int64_t i = 0; i < n; ++i) {
      const double v = p[i];
      if (!(v * outer <= 0.5)) continue;
      const double b = std::nearbyint(v * scale);
      ++counts[b > 0 ? (b < 255 ? std::size_t(b) : 255) : 0];
    }
    // Pixels at or below 0 all lie in bin 0, at every scale.
    std::int64_t c = -Skipped;
    int level = -1;
    for (int i = 0; i < 256 && level < 0; ++i)
      if ((long double)(c += counts[std::size_t(i)]) > limit) level = i;
    if (level < 0) return false;
    if (level == 0) {
      outer = scale;
      continue;
    }
    Levels.A = level / (long double)scale;
    Levels.B = (BackgroundLevel(counts, n) + 1) / (long double)scale;
    Levels.Step = 1.0L / scale;
    return true;
  }
  return false;
}

QComboBox* Combo(QWidget* Parent, const char* Name, const QString& Accessible, const QStringList& Items, int Index) {
  auto* c = new QComboBox(Parent);
  c->setObjectName(QString::fromLatin1(Name));
  c->setAccessibleName(Accessible);
  c->setEditable(false);
  c->addItems(Items);
  c->setCurrentIndex(Index);
  return c;
}
}  // namespace

TfrmDDP::TfrmDDP(QWidget* Parent) : TProcessingDialog(Parent) {
  setObjectName(QStringLiteral("frmDDP"));
  setWindowTitle(QStringLiteral("DDP Scale"));
  setAccessibleName(windowTitle());
  SetResultCaption(QStringLiteral("DDP Scale"));
  PreviewOnActivate = true;

  auto* grid = new QGridLayout;
  fedA = FloatBox(this, "fedA", QStringLiteral("Image mid-level"), 0, 2e32L, 10, 255);
  fedB = FloatBox(this, "fedB", QStringLiteral("Background"), 0, 99999999, 10, 0);
  fedK = FloatBox(this, "fedK", QStringLiteral("Scaling constant"), 0, 99999999, 10, 1);
  cmbEdgeEnhancement =
      Combo(this, "cmbEdgeEnhancement", QStringLiteral("Edge enhancement"),
            {QStringLiteral("None"), QStringLiteral("Weak"), QStringLiteral("Medium"), QStringLiteral("Strong")}, 1);
  Row(grid, 0, QStringLiteral("Image &mid-level"), fedA);
  Row(grid, 1, QStringLiteral("&Background"), fedB);
  Row(grid, 2, QStringLiteral("&Scaling constant"), fedK);
  Row(grid, 3, QStringLiteral("&Edge enhancement"), cmbEdgeEnhancement);

  auto* emphasis = new QGroupBox(QStringLiteral("Colour Emphasis"), this);
  emphasis->setAccessibleName(QStringLiteral("Colour Emphasis"));
  auto* channels = new QGridLayout(emphasis);
  const QStringList items = {QStringLiteral("Red"), QStringLiteral("Green"), QStringLiteral("Blue"),
                             QStringLiteral("Intensity")};
  cmbRed = Combo(emphasis, "cmbRed", QStringLiteral("Red channel"), items, 0);
  cmbGreen = Combo(emphasis, "cmbGreen", QStringLiteral("Green channel"), items, 1);
  cmbBlue = Combo(emphasis, "cmbBlue", QStringLiteral("Blue channel"), items, 2);
  lblRed = Row(channels, 0, QStringLiteral("&Red channel"), cmbRed, nullptr, "lblRed");
  lblGreen = Row(channels, 1, QStringLiteral("&Green channel"), cmbGreen, nullptr, "lblGreen");
  lblBlue = Row(channels, 2, QStringLiteral("Bl&ue channel"), cmbBlue, nullptr, "lblBlue");

  auto* controls = new QVBoxLayout;
  controls->addLayout(grid);
  controls->addWidget(emphasis);
  Arrange(this, controls, MakePreview(), MakeDialogButtons());

  for (TFloatEdit* e : {fedA, fedB, fedK}) connect(e, &QLineEdit::textChanged, this, [this] { ParameterChanged(); });
  for (QComboBox* c : {cmbEdgeEnhancement, cmbRed, cmbGreen, cmbBlue})
    connect(c, &QComboBox::currentIndexChanged, this, [this] { ParameterChanged(); });
}

bool TfrmDDP::Propose(const TDataImage& Image, TProposal& Proposal) {
  const int x2 = Image.Width - 1, y2 = Image.Height - 1;
  if (Image.IsColour) {
    TColRegionHistogram h{};
    ColCalcRegionHistogram(0, 0, x2, y2, Image, h);
    std::int64_t counted = 0;
    for (std::int32_t n : h.Intensity) counted += n;
    if (counted == 0 && Image.PixelCount() > 0) return false;  // reported by the routine
    Proposal.K = 255.0L;
    Proposal.A = Rounded(MidLevel(h.Intensity, Image.PixelCount()));
    Proposal.B = Rounded(BackgroundLevel(h.Intensity) + 1);
    return true;
  }
  TRegionHistogram h{};
  CalcRegionHistogram(0, 0, x2, y2, Image, h);
  if (h.Scale == 0.0f) return false;
  const int decimals = LevelDecimals(1.0L / h.Scale);
  // The statistics' maximum, four decimals (the histogram's maximum is the
  // same search); more where the levels need them.
  if (decimals > 2) {
    Proposal.K = Rounded(h.Max, decimals + 2);
  } else {
    try {
      Proposal.K = FromFixed4(ToFixed4(h.Max));
    } catch (...) {
      Proposal.K = h.Max;  // beyond the fixed-point range: four decimals are nothing to it
    }
  }
  // A frame mostly at or below 0 (a registered mosaic's zero border) takes
  // its mid-level from its pixels above 0, the sky and the stars, at the
  // resolution they need as any other frame does.
  const std::int64_t n = Image.PixelCount();
  const std::int64_t dark =
      Image.Pixels ? std::count_if(Image.Pixels, Image.Pixels + n, [](float v) { return v <= 0.0f; }) : 0;
  const bool border = (long double)dark > 0.95L * (long double)n && dark < n;
  const std::int64_t skipped = border ? dark : 0;
  const int own = NinetyFivePercentLevel(h.Counts, n - skipped, skipped);
  TFineLevels fine;
  if (own == 0 && dark < n && FineLevels(Image, h.Scale, skipped, fine)) {
    const int fineDecimals = LevelDecimals(fine.Step);
    Proposal.A = Rounded(fine.A, fineDecimals);
    Proposal.B = Rounded(fine.B, fineDecimals);
    return true;
  }
  const int level = border && own > 0 ? own : MidLevel(h.Counts, n);
  Proposal.A = Rounded(level < 0 ? -1.0L : h.Level(level), decimals);
  Proposal.B = Rounded(h.Level(BackgroundLevel(h.Counts) + 1), decimals);
  return true;
}

QString TfrmDDP::Refusal(const TDataImage& Image) const {
  // DDP takes pixels below 0 as 0: an image with no level above 0 has
  // nothing to propose from and nothing to show.
  bool black = true, abovezero = false;
  if (Image.IsColour) {
    TColRegionHistogram h{};
    ColCalcRegionHistogram(0, 0, Image.Width - 1, Image.Height - 1, Image, h);
    for (int i = 1; i < 256 && black; ++i) black = h.Intensity[i] == 0;
    abovezero = !black;
  } else {
    const std::int64_t n = Image.Pixels ? Image.PixelCount() : 0;
    for (std::int64_t i = 0; i < n && !abovezero; ++i) {
      abovezero = Image.Pixels[i] > 0.0f;
      black = black && Image.Pixels[i] == 0.0f;
    }
  }
  if (abovezero) return {};
  if (black)
    return QStringLiteral("Corvelle Image cannot propose DDP parameters for this image because all its pixels are "
                          "black.");
  return QStringLiteral("Corvelle Image cannot propose DDP parameters for this image because none of its pixels is "
                        "above zero.");
}

void TfrmDDP::CalcPercentiles() {
  TChildForm* child = ActiveChild();
  if (!child || !child->DataImage) return;
  TProposal p;
  if (!Propose(*child->DataImage, p)) return;
  // Each box fires its change; the previews they ask for run once.
  fedK->SetValue(p.K);
  fedA->SetValue(p.A);
  fedB->SetValue(p.B);
}

void TfrmDDP::FormActivate() {
  CalcPercentiles();
  TChildForm* child = ActiveChild();
  const bool colour = child && child->DataImage && child->DataImage->IsColour;
  for (QWidget* w : std::initializer_list<QWidget*>{cmbRed, cmbGreen, cmbBlue}) w->setEnabled(colour);
  for (QLabel* l : {lblRed, lblGreen, lblBlue}) SetLabelEnabled(l, colour);
}

void TfrmDDP::ReadParameters() {
  FA = float(fedA->ConstrainedValue());
  FB = float(fedB->ConstrainedValue());
  FK = float(fedK->ConstrainedValue());
  FEdge = std::max(0, cmbEdgeEnhancement->currentIndex());
  FRed = std::max(0, cmbRed->currentIndex());
  FGreen = std::max(0, cmbGreen->currentIndex());
  FBlue = std::max(0, cmbBlue->currentIndex());
}

void TfrmDDP::RunOperation(TDataImage& Dst, TDataImage& Src) {
  if (Src.IsColour)
    ColDDP(std::uint8_t(FEdge), std::uint8_t(FRed), std::uint8_t(FGreen), FA, FB, FK, std::uint8_t(FBlue), Dst, Src);
  else
    DDP(std::uint8_t(FEdge), Dst, Src, FA, FB, FK);
}

void TfrmDDP::ResultRange(TChildForm& Source, TDataImage& Result, float& Min, float& Max) {
  // Without edge enhancement each pixel's result grows with the pixel alone,
  // and the thumbnail holds the image's range. With it, a pixel's result
  // depends on its neighbours' mean, which the thumbnail's are not: the
  // whole image is run, at about the cost of the proposals' passes over it.
  if (FEdge == 0 || !FullResultRange(Source, {double(FEdge), FA, FB, FK}, Min, Max))
    TProcessingDialog::ResultRange(Source, Result, Min, Max);
}
