#pragma once
// The About box and the splash window shown while the program starts.
#include <QWidget>

#include "app/FormSupport.h"

class QLabel;
class QFrame;

class TfrmAbout : public TForm {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* Parent = nullptr);
  QLabel* Image1 = nullptr;
  QFrame* Shape1 = nullptr;

 protected:
  void showEvent(QShowEvent* Event) override;
};
extern TfrmAbout* frmAbout;

class TfrmSplash : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmSplash(QWidget* Parent = nullptr);
  QLabel* Image1 = nullptr;

 protected:
  void showEvent(QShowEvent* Event) override;
};
