#pragma once
// Small builders for the controls of the processing dialogs: every control
// gets its object name and an accessible name, every caption its buddy.
#include <QString>
#include <QStringList>

#include "app/PreviewFrame.h"

class QBoxLayout;
class QButtonGroup;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLayout;
class QSlider;
class QWidget;
class TFloatEdit;
class TIntEdit;
class TProcessingDialog;

namespace DialogControls {

// A horizontal track bar Min..Max at Position.
QSlider* TrackBar(QWidget* Parent, const char* Name, const QString& Accessible, int Min, int Max, int Position);
// A number box; Max is set before Min so that the range never inverts.
TFloatEdit* FloatBox(QWidget* Parent, const char* Name, const QString& Accessible, long double Min, long double Max,
                     long double Increment, long double Value);
TIntEdit* IntBox(QWidget* Parent, const char* Name, const QString& Accessible, int Min, int Max, int Increment,
                 int Value);
// A label that shows a value (no buddy). Its text is what assistive tools
// read as its name; Accessible describes it.
QLabel* ValueLabel(QWidget* Parent, const char* Name, const QString& Accessible);
// A track bar position as its value label shows a percentage ("-30%").
QString PercentText(int Position);
// Caption (with its & key) tied to Control in row Row of Grid: caption in
// column 0, control in column 1, and Extra (a value label) in column 2.
QLabel* Row(QGridLayout* Grid, int Row, const QString& Caption, QWidget* Control, QWidget* Extra = nullptr,
            const char* CaptionName = nullptr);
// A group of radio buttons whose ids are the item indexes.
QGroupBox* RadioGroup(QWidget* Parent, const char* Name, const QString& Caption, const QStringList& Items, int Checked,
                      QButtonGroup*& Buttons);
// Controls on the left, the preview (when the dialog has one) on the right,
// OK and Cancel under them.
void Arrange(TProcessingDialog* Dialog, QLayout* Controls, QWidget* Preview, QHBoxLayout* Buttons);

}  // namespace DialogControls
