#pragma once
// The program's main window with all its windows and settings of the test's
// own, recorded message boxes, and star fields with known fluxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>

#include "analysis/PhotometryGridForm.h"
#include "app/Child.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "engine/Errors.h"
#include "platform/MessageBox.h"
#include "platform/NumFormat.h"
#include "platform/Registry.h"

struct TFieldStar {
  double X, Y, Flux;  // centre and total counts of a Gaussian of sigma 2
};

static inline QString Fmt(long double V) { return QString::fromStdString(NumFormat::FormatFloat("0.000", V)); }

class PhotometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TRegistry::SetStorageFile(Settings.filePath(QStringLiteral("registry.ini")));
    MainForm = Form = new TMainForm;
    CreateForms(Form);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes.push_back(Text);
      const int a = Answers.empty() ? int(mrOk) : Answers.front();
      if (!Answers.empty()) Answers.erase(Answers.begin());
      return a;
    });
    PreviousError = SetInternalErrorHandler([this](int Code) { Errors += Code != 0; });
  }
  void TearDown() override {
    for (TChildForm* child : Form->MDIChildren()) child->setAttribute(Qt::WA_DeleteOnClose, false), delete child;
    FreeForms();
    delete Form;
    MainForm = nullptr;
    MessageBox::SetHook(PreviousBox);
    SetInternalErrorHandler(PreviousError);
    TRegistry::SetStorageFile(QString());
  }
  // A floating-point image: sky level Sky plus the stars.
  TChildForm* StarField(int W, int H, const std::vector<TFieldStar>& Stars, const QString& Caption, float Sky = 100) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, 3, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double v = Sky;
        for (const TFieldStar& s : Stars)
          v += s.Flux / (8 * M_PI) * std::exp(-((x - s.X) * (x - s.X) + (y - s.Y) * (y - s.Y)) / 8.0);
        child->DataImage->Pixels[std::size_t(y) * W + x] = float(v);
      }
    child->DataImage->AutoScale();
    child->SetCaption(Caption);
    child->UpdateImage();
    return child;
  }
  // Calls Act with the modal dialog once one is open.
  static void WhenModal(std::function<void(QWidget*)> Act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, Act, tries = 0]() mutable {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog && ++tries < 2000) return;
      timer->stop();
      timer->deleteLater();
      if (dialog) Act(dialog);
    });
    timer->start(5);
  }
  static std::vector<QStringList> GridRows() {
    std::vector<QStringList> rows(std::size_t(frmPhotometryGrid->NextRow() - 1));
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (int c = 0; c < TfrmPhotometryGrid::ColCount; ++c) rows[r] << frmPhotometryGrid->Cell(int(r) + 1, c);
    return rows;
  }

  QTemporaryDir Settings;
  TMainForm* Form = nullptr;
  std::vector<QString> Boxes;
  std::vector<int> Answers;
  int Errors = 0;  // internal errors reported
  MessageBox::THook PreviousBox;
  TInternalErrorHandler PreviousError;
};
