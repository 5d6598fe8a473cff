#pragma once
// The program's main window with all its windows, a recorder for message
// boxes, and synthetic star fields with known fluxes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "analysis/PhotometryGridForm.h"
#include "app/Child.h"
#include "app/Main.h"
#include "app/StartUp.h"
#include "engine/Errors.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"

struct TStar {
  double X, Y, Flux;  // centre and total counts of a Gaussian of sigma 2
};

class PhotometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Settings of this test alone.
    TRegistry::SetStorageFile(Settings.filePath(QStringLiteral("registry.ini")));
    Form = new TMainForm;
    MainForm = Form;
    CreateForms(Form);
    Form->resize(1200, 900);
    Form->show();
    PreviousBox = MessageBox::SetHook([this](TMsgDlgType, const QString& Text, unsigned) {
      Boxes.push_back(Text);
      if (Answers.empty()) return int(mrOk);
      const int a = Answers.front();
      Answers.erase(Answers.begin());
      return a;
    });
    PreviousError = SetInternalErrorHandler([this](int Code) {
      if (Code) Errors.push_back(Code);
    });
  }
  void TearDown() override {
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
    FreeForms();
    delete Form;
    MainForm = nullptr;
    MessageBox::SetHook(PreviousBox);
    SetInternalErrorHandler(PreviousError);
    TRegistry::SetStorageFile(QString());
  }

  // A floating-point image: sky level Sky plus Gaussian stars (sigma 2).
  TChildForm* StarField(int W, int H, const std::vector<TStar>& Stars, const QString& Caption, float Sky = 100.0f) {
    auto* child = new TChildForm;
    child->DataImage->Allocate(W, H, 3, false);
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        double v = Sky;
        for (const TStar& s : Stars) {
          const double d2 = (x - s.X) * (x - s.X) + (y - s.Y) * (y - s.Y);
          v += s.Flux / (2 * M_PI * 4.0) * std::exp(-d2 / 8.0);
        }
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
    auto tries = std::make_shared<int>(0);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, Act] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog && ++*tries < 2000) return;
      timer->stop();
      timer->deleteLater();
      if (dialog) Act(dialog);
    });
    timer->start();
  }

  // The grid's rows from row 1 to the last filled one.
  static std::vector<QStringList> GridRows() {
    std::vector<QStringList> rows;
    for (int r = 1; r < frmPhotometryGrid->NextRow(); ++r) {
      QStringList row;
      for (int c = 0; c < TfrmPhotometryGrid::ColCount; ++c) row << frmPhotometryGrid->Cell(r, c);
      rows.push_back(row);
    }
    return rows;
  }

  QTemporaryDir Settings;
  TMainForm* Form = nullptr;
  std::vector<QString> Boxes;
  std::vector<int> Answers;
  std::vector<int> Errors;
  MessageBox::THook PreviousBox;
  TInternalErrorHandler PreviousError;
};
