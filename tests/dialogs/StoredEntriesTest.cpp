// Stored kernels and palettes whose names the program could not have written
// (a damaged or hand-edited settings file): listed as damaged, never used as
// a path, and deleted one by one without touching the others.
#include <QComboBox>
#include <QSettings>

#include "Processing2TestUtil.h"
#include "app/FloatEdit.h"
#include "dialogs/CustomFilterForm.h"
#include "dialogs/PseudoColourForm.h"
#include "platform/Registry.h"

namespace {
const QString Root = QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\");

class StoredEntries : public Processing2Test {
 protected:
  static QStringList Items(const QComboBox* List) {
    QStringList out;
    for (int i = 0; i < List->count(); ++i) out << List->itemText(i);
    out.sort();
    return out;
  }
  static QStringList Stored(const QString& Key) {
    TRegistry reg;
    QStringList names = reg.OpenKey(Key, false) ? reg.GetKeyNames() : QStringList();
    names.sort();
    return names;
  }
};
}  // namespace

TEST_F(StoredEntries, ADamagedNameIsListedAsSuchAndDeletesOnlyItself) {
  GreyWindow(20, 10, 0, [](int x, int y) { return float(x * 9 + y); });
  struct TCase {
    const char* Command;
    const char* Key;
    QComboBox* (*List)();
    QPushButton* (*Delete)();
    std::function<void(TRegistry&)> Fill;  // one good entry's values
    QString Refusal;
  };
  const TCase cases[] = {
      {"FilterCustom", "Filters", [] { return frmCustomFilter->cmbCustom; }, [] { return frmCustomFilter->btnDelete; },
       [](TRegistry& r) { r.WriteString(QStringLiteral("Filter"), QStringLiteral("0,-1,0,-1,5,-1,0,-1,0")); },
       QStringLiteral("The current filter is invalid.  It may be damaged or currupt.")},
      {"ScalePseudoColour", "Palettes", [] { return frmPseudoColour->cmbName; },
       [] { return frmPseudoColour->btnDelete; },
       [](TRegistry& r) {
         r.WriteInteger(QStringLiteral("Count"), 2);
         r.WriteBool(QStringLiteral("Reversed"), false);
         r.WriteString(QStringLiteral("Pal"), QStringLiteral("0,0,0,255,255,255"));
       },
       QStringLiteral("The stored palette \"\\\" is damaged: its name is not one a palette can have.")},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Command);
    const QString key = Root + QLatin1String(c.Key);
    TRegistry().DeleteKey(key);
    for (const char* name : {"Sharpen", "edge"}) {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(key + QLatin1Char('\\') + QLatin1String(name), true));
      reg.WriteString(QStringLiteral("Name"), QLatin1String(name));
      c.Fill(reg);
    }
    {
      // Entries called "\" and "a/b", as a hand-edited file can hold them.
      QSettings raw(TRegistry::StorageFile(), QSettings::IniFormat);
      const QString group = QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/") +
                            QLatin1String(c.Key) + QLatin1Char('/');
      for (const char* stored : {"%5C", "a%2Fb"}) raw.setValue(group + QLatin1String(stored) + QStringLiteral("/.key"), 1);
    }
    ASSERT_EQ(Stored(key), QStringList({"Sharpen", "\\", "a/b", "edge"}));
    Restart();
    ASSERT_TRUE(RunCommand(c.Command, [&](QDialog*) {
      QComboBox* list = c.List();
      EXPECT_EQ(Items(list), QStringList({"Sharpen", "\\ (damaged)", "a/b (damaged)", "edge"}));
      // Choosing a damaged entry loads nothing from anywhere.
      Boxes.clear();
      list->setCurrentIndex(-1);  // the dialog may open with the first entry current
      Pick(list, QStringLiteral("\\ (damaged)"));
      EXPECT_EQ(BoxTexts(), std::vector<QString>{c.Refusal});
      if (frmCustomFilter->isVisible()) {
        EXPECT_EQ(frmCustomFilter->fedR[1][1]->text(), QStringLiteral("0"));
      } else {
        EXPECT_TRUE(frmPseudoColour->Points().empty());
      }
      // Delete takes that entry alone, then the other damaged one alone.
      Boxes.clear();
      Click(c.Delete());
      EXPECT_TRUE(Boxes.empty());
      EXPECT_EQ(Stored(key), QStringList({"Sharpen", "a/b", "edge"}));
      EXPECT_EQ(Items(list), QStringList({"Sharpen", "a/b (damaged)", "edge"}));
      list->setCurrentIndex(-1);
      Pick(list, QStringLiteral("a/b (damaged)"));
      Click(c.Delete());
      EXPECT_EQ(Stored(key), QStringList({"Sharpen", "edge"}));
      EXPECT_EQ(Items(list), QStringList({"Sharpen", "edge"}));
    }));
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(key + QStringLiteral("\\Sharpen"), false));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Name")), QStringLiteral("Sharpen"));
  }
}
