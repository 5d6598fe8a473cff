#pragma once
// What the dock library's tests share: a form with docks on its four edges
// and a wait for what the window system delivers later.
#include <gtest/gtest.h>

#include <QBoxLayout>
#include <QGuiApplication>
#include <QTest>
#include <QWidget>

#include "toolbars/DockPositions.h"
#include "toolbars/DockToolWindow.h"

// Waits for what the window system delivers later.
template <typename F>
bool Eventually(F Condition) {
  return QTest::qWaitFor(Condition, 3000);
}

// A form with docks on its four edges around a central area.
struct TForm4 {
  QWidget Form;
  TDock* Top;
  TDock* Bottom;
  TDock* Left;
  TDock* Right;
  QWidget* Centre;
  TForm4() {
    Form.setObjectName(QStringLiteral("Form"));
    auto* v = new QVBoxLayout(&Form);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(0);
    Top = new TDock(&Form, dpTop);
    Top->setObjectName(QStringLiteral("dckTop"));
    Top->SetBoundLines(blTop);
    Bottom = new TDock(&Form, dpBottom);
    Bottom->setObjectName(QStringLiteral("dckBottom"));
    Left = new TDock(&Form, dpLeft);
    Left->setObjectName(QStringLiteral("dckLeft"));
    Right = new TDock(&Form, dpRight);
    Right->setObjectName(QStringLiteral("dckRight"));
    Centre = new QWidget(&Form);
    auto* h = new QHBoxLayout;
    h->setSpacing(0);
    h->addWidget(Left);
    h->addWidget(Centre, 1);
    h->addWidget(Right);
    v->addWidget(Top);
    v->addLayout(h, 1);
    v->addWidget(Bottom);
    Form.setGeometry(100, 100, 800, 600);
  }
  void Show() {
    Form.show();
    Form.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&Form));
    EXPECT_TRUE(Eventually([&] { return QGuiApplication::applicationState() == Qt::ApplicationActive; }));
  }
};

