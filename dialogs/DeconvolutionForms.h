#pragma once
// The three deconvolution dialogs (Lucy-Richardson, maximum entropy, Van
// Cittert): one dialog whose words, numbers and engine routine come from its
// configuration. Each run chooses a modelled or extracted point-spread
// function, pads the image to power-of-two sides, runs the engine while its
// rounds show in a label and a progress bar, and cuts the result back.
#include <memory>

#include "dialogs/ProcessingDialog.h"
#include "engine/Errors.h"

class QButtonGroup;
class QLabel;
class QProgressBar;
class QRadioButton;
class TChildForm;
class TDataImage;
class TFloatEdit;
class TIntEdit;

struct TDeconvolutionConfig {
  const char* ObjectName;
  const char* Caption;
  int HelpContext;
  const char* SettingsCaption;
  int InitialIterations;
  const char* ExtractCaption;
  const char* GreyOnlyMessage;
  const char* ResultCaption;
  int RunError;
  int PreviewError;
  // The engine routine; Observed may be changed (maximum entropy does).
  std::unique_ptr<TDataImage> (*Deconvolve)(int Iterations, TDataImage& Observed, TDataImage& PSF);
};

class TfrmDeconvolution : public TProcessingDialog {
  Q_OBJECT
 public:
  TfrmDeconvolution(const TDeconvolutionConfig& Config, QWidget* Parent);

  TIntEdit* iedIterations = nullptr;
  QPushButton* btnPreview = nullptr;
  QButtonGroup* grpPSF = nullptr;
  QLabel* lblCurveRad = nullptr;
  TFloatEdit* fedCurveRad = nullptr;
  QLabel* lblExtractionRad = nullptr;
  TIntEdit* iedExtractionRad = nullptr;
  QLabel* lblStatus = nullptr;
  QProgressBar* ProgressBar = nullptr;

  const TDeconvolutionConfig& Config() const { return FConfig; }
  void grpPSFClick();
  void btnPreviewClick();
  void btnOKClick();
  // Called after every round of the engine.
  void ShowIteration(int Iteration, int Percent);
  bool Running() const { return FRunning; }
  // The window made by the last OK run, if any.
  TChildForm* ResultWindow = nullptr;

 protected:
  // Not while a run is in progress: the run works on the dialog's images.
  void reject() override;
  void closeEvent(QCloseEvent* Event) override;
  // The thumbnail shows in the full image's display range.
  void Prepare(TChildForm& Source) override;
  // The preview's run: Src is the source thumbnail, Dst the result one.
  void RunOperation(TDataImage& Dst, TDataImage& Src) override;

 private:
  // The run on Source (the active image or the preview's thumbnail). The
  // result is null when the run stopped, already reported or warned about.
  std::unique_ptr<TDataImage> Deconvolve(const TDataImage& Source, TChildForm& Active, int ErrorNumber,
                                         int& OffsetX, int& OffsetY);
  // The closing steps around a run.
  template <typename Body>
  void Run(bool Closes, int ErrorNumber, Body&& Work);
  const TDeconvolutionConfig& FConfig;
  bool FRunning = false;
};

class TfrmLucyRichardson : public TfrmDeconvolution {
  Q_OBJECT
 public:
  explicit TfrmLucyRichardson(QWidget* Parent = nullptr);
};
class TfrmMaximumEntropy : public TfrmDeconvolution {
  Q_OBJECT
 public:
  explicit TfrmMaximumEntropy(QWidget* Parent = nullptr);
};
class TfrmVanCittert : public TfrmDeconvolution {
  Q_OBJECT
 public:
  explicit TfrmVanCittert(QWidget* Parent = nullptr);
};

extern TfrmLucyRichardson* frmLucyRichardson;
extern TfrmMaximumEntropy* frmMaximumEntropy;
extern TfrmVanCittert* frmVanCittert;

inline constexpr const char* msgNoPSF = "Corvelle Image could not extract the PSF.";
inline constexpr const char* msgFourierTooLarge = "The image is too large for Fourier processing (largest side 8192).";
