#pragma once
// The shape every processing dialog shares. A dialog derives from
// TProcessingDialog and fills in only what is its own:
//
//   class TfrmGamma : public TProcessingDialog {
//    public:
//     explicit TfrmGamma(QWidget* Parent);   // builds its controls, then:
//       SetResultCaption("Gamma Scale"); MakePreview(); MakeOutputRange(3);
//       connect each parameter control's change signal to ParameterChanged();
//       add MakeDialogButtons() (OK and Cancel, OK connected to btnOKClick).
//    protected:
//     void ReadParameters() override;                 // controls -> fields
//     void RunOperation(TDataImage& Dst, TDataImage& Src) override;
//   };
//
// The main window's action calls Execute(). Execute takes the active image
// window, refuses an image the dialog cannot work on (Refusal, shown in a
// warning box), makes the preview thumbnails, enables the output range for a
// grey image, runs Prepare and, when PreviewOnExecute, one preview; then it
// shows the dialog modally and returns the modal result (OK 1, Cancel 2; 0
// when nothing was shown).
//
// The preview: ParameterChanged() (bind it to every parameter control) asks
// for one preview run after the pending events, so a dragged slider costs one
// run per pass of the event loop; UpdatePreview() runs it at once. A run calls
// UpdateLabels, ReadParameters and RunOperation from the source thumbnail into
// the result thumbnail, then AfterPreview and Refresh. The result thumbnail
// is drawn as the result window will draw it: with the source window's
// display table (or the identity one) and levels, as the result window starts,
// and, where the window takes its levels from its pixels' range (Quick Scale
// shown, an output range, LevelsFromRange), the range ResultRange gives for
// the full-size result. With PreviewOnActivate
// the dialog previews each time it is activated, except after a preview of
// its own raised an error box: then activations do nothing until the next
// preview run or opening (so a failing preview cannot loop).
//
// OK: CommitEdits, Refusal when RefuseOnOK, ReadParameters (a number box with
// a bad text stops here with the box's message), CheckBeforeOK, then CopyImageWindow of the
// active window, ResetLUT when ResetsLUT, RunOperation(copy, active),
// RescaleToOutputRange for a grey image when there is an output range,
// AfterOperation, modal result OK, the result caption, UpdateImage, and the
// quick linear scale update when UpdatesQuickScale. Anything an engine routine
// throws ends the sequence silently; a result window already made stays.
// Hiding the dialog frees the thumbnails.
//
// dialogs/DialogControls.h builds the usual controls (track bars, number
// boxes, radio groups, captions tied to their controls) and the layout.
#include <QString>
#include <vector>

#include "app/FormSupport.h"

class QButtonGroup;
class QGroupBox;
class QTimer;
class TChildForm;
class TDataImage;
class TfmePreview;

class TProcessingDialog : public TForm {
  Q_OBJECT
 public:
  explicit TProcessingDialog(QWidget* Parent = nullptr);
  ~TProcessingDialog() override;

  int Execute();

  // Which images a dialog works on.
  enum class TAccepts { Both, GreyOnly, ColourOnly };

  TfmePreview* fmePreview = nullptr;         // after MakePreview
  QGroupBox* grpOutputRange = nullptr;       // after MakeOutputRange
  QButtonGroup* OutputRangeButtons = nullptr;

  // The output range's item index (0 "8 bit" .. 3 "Unlimited"); 3 without one.
  int OutputRange() const;
  void SetOutputRange(int Index);
  QString ResultCaption() const { return FResultCaption; }

  // Runs the preview now (labels, operation on the thumbnails, Refresh).
  void UpdatePreview();
  // Asks for one preview after the pending events.
  void ParameterChanged();
  // Runs a pending preview at once.
  void FlushPreview();
  // The number of preview runs so far (what a user would see change).
  int PreviewCount() const { return FPreviewCount; }

  void btnOKClick();

 protected:
  // --- What a dialog sets up in its constructor ---
  void SetResultCaption(const QString& Caption) { FResultCaption = Caption; }
  TfmePreview* MakePreview();
  // "Output Range" with "8 bit", "12 bit", "16 bit", "Unlimited".
  QGroupBox* MakeOutputRange(int Default);
  // "OK" and "Cancel"; OK runs btnOKClick.
  class QHBoxLayout* MakeDialogButtons();
  TAccepts Accepts = TAccepts::Both;
  QString RefusalText;             // shown when the image is of the wrong kind
  bool RefuseOnOK = false;         // refuse in OK (dialog shown) instead of in Execute
  bool ResetsLUT = true;           // the result shows through the identity table
  bool PreviewOnActivate = false;  // preview at every activation
  bool PreviewOnExecute = false;   // one preview before the dialog shows
  bool UpdatesQuickScale = false;  // bring the quick linear scale window up to date
  bool LevelsFromRange = false;    // the result window is drawn over its own pixels' range

  // --- What a dialog fills in ---
  // Run first in OK, before the kind of image is checked (for example moving
  // the focus to OK, so that the box being edited commits its value).
  virtual void CommitEdits() {}
  // Reads the controls into the dialog's fields through the boxes' rules; an
  // EPropertyError for a text that is no number.
  virtual void ReadParameters() {}
  // The engine routine, grey or colour by Src.IsColour.
  virtual void RunOperation(TDataImage& Dst, TDataImage& Src) = 0;
  // The warning for an image the dialog refuses; empty when it is accepted.
  // The default checks Accepts and answers RefusalText.
  virtual QString Refusal(const TDataImage& Image) const;
  // More checks in OK after the refusal; false keeps the dialog open (the
  // check shows its own box).
  virtual bool CheckBeforeOK(TChildForm& Source) { (void)Source; return true; }
  // Fills the controls from the active window before it shows.
  virtual void Prepare(TChildForm& Source) { (void)Source; }
  virtual void UpdateLabels() {}
  // After the operation on the thumbnails, before Refresh.
  virtual void AfterPreview(TDataImage& Result) { (void)Result; }
  // After the operation (and output range) on the result window's image.
  virtual void AfterOperation(TDataImage& Result) { (void)Result; }
  // The range of the full-size result's pixels for the values last read:
  // lowest and highest, as the result window's histogram finds them. The
  // default takes the result thumbnail's, which is the full result's for an
  // operation on each pixel alone, since the thumbnails hold the image's
  // range; an operation on neighbourhoods gives FullResultRange.
  virtual void ResultRange(TChildForm& Source, TDataImage& Result, float& Min, float& Max);
  // The range of the operation run on a copy of the whole source image with
  // the values Key stands for (the last range is kept while the dialog is
  // open); false when the copy cannot be had or the routine fails (which then
  // says nothing).
  bool FullResultRange(TChildForm& Source, const std::vector<double>& Key, float& Min, float& Max);
  // The result thumbnail as the result window starts (its source's levels
  // and table), and as it is first drawn, around the preview's operation.
  void StartAsResultWindow(TChildForm& Source);
  void ShowAsResultWindow(TChildForm& Source);
  // Run at every activation before the preview (proposals from the image).
  virtual void FormActivate() {}
  // Whether the activation preview runs (after FormActivate).
  virtual bool ActivationPreviewWanted() const { return true; }

  // The warning for an image whose padded sides would exceed what the
  // Fourier transform takes (8192); empty when it fits.
  static QString TransformSizeRefusal(const TDataImage& Image);

  // The active image window (the MDI area's current one).
  static TChildForm* ActiveChild();

  bool event(QEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

 private:
  void Activated();
  QString FResultCaption;
  // The last full-size range and what it was found for.
  struct TRangeFound {
    const TDataImage* Source = nullptr;
    std::vector<double> Key;
    float Min = 0.0f, Max = 0.0f;
  } FRangeFound;
  QTimer* FPreviewTimer = nullptr;
  int FPreviewCount = 0;
  bool FInPreview = false;
  bool FInActivate = false;
  bool FPreviewRaisedBox = false;  // the last preview showed an error or warning box
  bool FBoxesWatched = false;
  bool FFocusOutFailed = false;    // a number box has shown its own message for its text
};
