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

// A name stored in a spelling the program never writes ("%47ood" for "Good",
// ".x" unescaped) is listed as damaged beside the real one, and every listed
// entry, chosen and deleted, takes exactly its own place in the store.
TEST_F(StoredEntries, EachListedEntryIsTheOneDeleteRemoves) {
  GreyWindow(20, 10, 0, [](int x, int y) { return float(x * 9 + y); });
  const struct {
    const char* Command;
    const char* Key;
    QComboBox* (*List)();
    QPushButton* (*Delete)();
  } dialogs[] = {
      {"FilterCustom", "Filters", [] { return frmCustomFilter->cmbCustom; }, [] { return frmCustomFilter->btnDelete; }},
      {"ScalePseudoColour", "Palettes", [] { return frmPseudoColour->cmbName; },
       [] { return frmPseudoColour->btnDelete; }},
  };
  // As the store spells each entry, and as the list shows it.
  const struct {
    const char* Stored;
    const char* Shown;
  } entries[] = {
      {"Good", "Good"},       {"%47ood", "Good (damaged)"}, {".x", ".x (damaged)"},
      {"%2Ey", ".y"},         {"G%6Fd", "God (damaged)"},  {"%25", "%"},
      {"%41%42", "AB (damaged)"},
  };
  auto spellings = [](const QString& Key) {
    TRegistry reg;
    QStringList out;
    if (reg.OpenKey(Key, false))
      for (const TRegistry::TSubKey& k : reg.GetSubKeys()) out << k.Stored;
    out.sort();
    return out;
  };
  int deleted = 0;
  for (const auto& d : dialogs) {
    SCOPED_TRACE(d.Command);
    const QString key = Root + QLatin1String(d.Key);
    TRegistry().DeleteKey(key);
    ASSERT_TRUE(TRegistry().CreateKey(key));
    QStringList all, shown;
    {
      QSettings raw(TRegistry::StorageFile(), QSettings::IniFormat);
      const QString group = QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/") +
                            QLatin1String(d.Key) + QLatin1Char('/');
      for (const auto& e : entries) {
        raw.setValue(group + QLatin1String(e.Stored) + QStringLiteral("/.key"), 1);
        all << QLatin1String(e.Stored);
        shown << QString::fromUtf8(e.Shown);
      }
    }
    all.sort();
    shown.sort();
    ASSERT_EQ(spellings(key), all);
    Restart();
    ASSERT_TRUE(RunCommand(d.Command, [&](QDialog*) {
      QComboBox* list = d.List();
      EXPECT_EQ(Items(list), shown);
      for (const auto& e : entries) {
        SCOPED_TRACE(e.Shown);
        list->setCurrentIndex(-1);
        Pick(list, QString::fromUtf8(e.Shown));
        Boxes.clear();
        Click(d.Delete());
        EXPECT_TRUE(Boxes.empty());
        all.removeOne(QLatin1String(e.Stored));
        shown.removeOne(QString::fromUtf8(e.Shown));
        EXPECT_EQ(spellings(key), all);
        EXPECT_EQ(Items(list), shown);
        deleted += spellings(key) == all;
      }
    }));
  }
  std::printf("[ figures  ] %zu stored entries in two lists, %d deleted each by its own item\n",
              2 * std::size(entries), deleted);
}
