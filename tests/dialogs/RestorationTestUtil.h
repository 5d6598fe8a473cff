#pragma once
// The main window with the restoration group's dialogs, a way to act inside a
// modal dialog opened by a menu command, file dialog answers, and the Python
// oracles.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "app/AppTestUtil.h"
#include "app/FormGroups.h"
#include "platform/FileDialog.h"

class RestorationTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    CreateRestorationForms(Form.get());
    PreviousFileHook = TFileDialog::SetHook([this](TFileDialog& D) {
      if (FileAnswers.empty()) return false;
      D.Files = FileAnswers.front();
      D.FileName = D.Files.value(0);
      FileAnswers.erase(FileAnswers.begin());
      return true;
    });
    PreviousWarning = SetWarningHandler([this](const std::string& T) { Warnings.push_back(T); });
  }
  void TearDown() override {
    TFileDialog::SetHook(PreviousFileHook);
    SetWarningHandler(PreviousWarning);
    CloseWindows();
    FreeRestorationForms();
    AppTest::TearDown();
  }
  void CloseWindows() {
    for (TChildForm* child : Form->MDIChildren()) {
      child->setAttribute(Qt::WA_DeleteOnClose, false);
      delete child;
    }
  }
  // Triggers the main window's command and calls Act inside the modal dialog
  // it opens; a dialog still open afterwards is closed. Answers whether it was.
  bool RunCommand(const char* Action, const std::function<void(QWidget*)>& Act) {
    bool seen = false, open = false;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      timer.stop();
      seen = true;
      Act(dialog);
      open = QApplication::activeModalWidget() == dialog;
      if (open) dialog->close();
    });
    timer.start();
    QAction* action = Form->Action(QString::fromLatin1(Action));
    EXPECT_NE(action, nullptr) << Action;
    if (!action) return false;
    action->setEnabled(true);
    action->trigger();
    EXPECT_TRUE(seen) << "no dialog opened for " << Action;
    return open;
  }

 public:
  template <typename T = QPushButton>
  static T* Find(QWidget* Dialog, const QString& Name) {
    auto* w = Dialog->findChild<T*>(Name);
    EXPECT_NE(w, nullptr) << Name.toStdString();
    return w;
  }
  static void Click(QWidget* Dialog, const char* Name) {
    if (auto* b = Find(Dialog, QString::fromLatin1(Name))) QTest::mouseClick(b, Qt::LeftButton);
  }
  // A click on a round or square button itself, left of its caption.
  static void Tick(QAbstractButton* B) { QTest::mouseClick(B, Qt::LeftButton, {}, QPoint(6, B->height() / 2)); }
  static void Drag(QWidget* W, QPoint From, QPoint To) {
    const std::pair<QEvent::Type, QPoint> steps[] = {{QEvent::MouseButtonPress, From},
                                                     {QEvent::MouseMove, (From + To) / 2},
                                                     {QEvent::MouseMove, To},
                                                     {QEvent::MouseButtonRelease, To}};
    for (const auto& [type, p] : steps) {
      QMouseEvent e(type, QPointF(p), W->mapToGlobal(QPointF(p)), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                    type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(W, &e);
    }
  }

 protected:
  bool Oracle(const std::string& Script, const std::string& Args) const {
    return std::system(("/usr/bin/python3 " CORVELLE_SOURCE_DIR "/tests/oracles/" + Script + " " +
                        Dir.path().toStdString() + " " + Args)
                           .c_str()) == 0;
  }
  QString File(const QString& Name) const { return Dir.filePath(Name); }
  std::vector<float> ReadFloats(const QString& Name) const {
    std::ifstream in(File(Name).toStdString(), std::ios::binary | std::ios::ate);
    std::vector<float> v(std::size_t(in.tellg()) / sizeof(float));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(v.data()), std::streamsize(v.size() * sizeof(float)));
    return v;
  }
  // Pixels of Image that differ in any bit from Want.
  static int Differing(const std::vector<float>& Want, const TDataImage& Image) {
    if (std::int64_t(Want.size()) != Image.PixelCount()) return -1;
    int n = 0;
    for (std::size_t i = 0; i < Want.size(); ++i) n += std::memcmp(&Want[i], &Image.Pixels[i], 4) != 0;
    return n;
  }
  static void Save(const QImage& Shot, const char* Name) {
    if (const char* dir = std::getenv("CORVELLE_SCREENSHOT_DIR"))
      Shot.save(QDir(QString::fromLocal8Bit(dir)).filePath(QString::fromLatin1(Name)));
  }
  std::vector<QString> BoxTexts() const {
    std::vector<QString> t;
    for (const auto& b : Boxes) t.push_back(b.Text);
    return t;
  }
  std::vector<QStringList> FileAnswers;
  std::vector<std::string> Warnings;
  TFileDialog::THook PreviousFileHook;
  TWarningHandler PreviousWarning;
  QTemporaryDir Dir;
};
