#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include "app/MRUFList.h"
#include "platform/Registry.h"

namespace {
const QString KeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");

class RecentFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TRegistry reg;
    reg.DeleteKey(QStringLiteral("\\Software\\Quorvath"));
    Menu.setTitle(QStringLiteral("&Reopen"));
    Menu.menuAction()->setEnabled(false);
    Recent = MakeList(Menu);
  }
  std::unique_ptr<TRecentFiles> MakeList(QMenu& M) {
    auto r = std::make_unique<TRecentFiles>();
    r->SetMenu(&M);
    r->SetMaxFiles(9);
    r->RegistryKey = KeyA;
    return r;
  }
  QString File(const QString& Name) {
    const QString path = Dir.filePath(Name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    return path;
  }
  QStringList Captions(const QMenu& M) const {
    QStringList r;
    // A separator reads "-" here; it must carry no caption of its own, or the
    // menu would show an item captioned "-".
    for (QAction* a : M.actions()) {
      EXPECT_TRUE(!a->isSeparator() || a->text().isEmpty());
      r << (a->isSeparator() ? QStringLiteral("-") : a->text());
    }
    return r;
  }
  QTemporaryDir Dir;
  QMenu Menu;
  std::unique_ptr<TRecentFiles> Recent;
};
}  // namespace

TEST_F(RecentFilesTest, AddReorderAndCut) {
  const QString a = File("a.fts"), b = File("b.fts"), c = File("c&d.fts");
  Recent->AddFile(a);
  Recent->AddFile(b);
  Recent->AddFile(c);
  EXPECT_TRUE(Menu.menuAction()->isEnabled());
  EXPECT_EQ(Captions(Menu), QStringList({QStringLiteral("-"), "&1 " + QString(c).replace("&", "&&"), "&2 " + b, "&3 " + a}));
  EXPECT_TRUE(Menu.actions().first()->isSeparator());
  // The third entry added again goes to the top.
  Recent->AddFile(a);
  EXPECT_EQ(Recent->Files(), QStringList({a, c, b}));
  EXPECT_EQ(Menu.actions()[1]->text(), "&1 " + a);
  EXPECT_EQ(Menu.actions()[3]->text(), "&3 " + b);
  // Case matters; missing files and empty names are ignored.
  Recent->AddFile(Dir.filePath("missing.fts"));
  Recent->AddFile(QString());
  EXPECT_EQ(Recent->Files().size(), 3);
  // Nine entries at most: the tenth drops the oldest.
  QStringList added;
  for (int i = 0; i < 7; ++i) Recent->AddFile(added.emplace_back(File(QStringLiteral("f%1.kvx").arg(i))));
  EXPECT_EQ(Recent->Files().size(), 9);
  EXPECT_FALSE(Recent->Files().contains(b));  // the oldest went
  EXPECT_EQ(Recent->Files().last(), c);
  EXPECT_EQ(Menu.actions().last()->text(), "&9 " + QString(c).replace("&", "&&"));
  EXPECT_EQ(Recent->Files().first(), added.last());
}

TEST_F(RecentFilesTest, LongPathsKeepTheirWholeName) {
  QString deep = Dir.path();
  for (int i = 0; i < 6; ++i) {
    deep += QStringLiteral("/") + QString(60, QLatin1Char('a' + i));
    QDir().mkpath(deep);
  }
  const QString longName = deep + QStringLiteral("/image.fts");
  QFile f(longName);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  ASSERT_GT(longName.size(), 256);
  QString clicked;
  Recent->OnClick = [&](TRecentFiles*, const QString& Name) { clicked = Name; };
  Recent->AddFile(longName);
  Recent->AddFile(longName);
  EXPECT_EQ(Recent->Files(), QStringList({longName}));
  Menu.actions()[1]->trigger();
  EXPECT_EQ(clicked, longName);
}

TEST_F(RecentFilesTest, ClickKeepsThePlace) {
  const QString a = File("a.fts"), b = File("b.fts");
  Recent->AddFile(a);
  Recent->AddFile(b);
  QString clicked;
  Recent->OnClick = [&](TRecentFiles*, const QString& Name) { clicked = Name; };
  Menu.actions()[2]->trigger();
  EXPECT_EQ(clicked, a);
  EXPECT_EQ(Recent->Files(), QStringList({b, a}));
  // With DeleteEntry the entry goes; the last one takes the separator along.
  Recent->DeleteEntry = true;
  Menu.actions()[2]->trigger();
  EXPECT_EQ(Captions(Menu), QStringList({"-", "&1 " + b}));
  Menu.actions()[1]->trigger();
  EXPECT_TRUE(Menu.actions().isEmpty());
}

TEST_F(RecentFilesTest, RegistryRoundTrip) {
  // No key: nothing loads and the menu stays disabled and empty.
  Recent->LoadFromRegistry();
  EXPECT_FALSE(Menu.menuAction()->isEnabled());
  EXPECT_TRUE(Menu.actions().isEmpty());
  {
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(KeyA));
  }
  // Saving an empty list still makes the key (and key A).
  Recent->SaveToRegistry();
  {
    TRegistry reg;
    EXPECT_TRUE(reg.KeyExists(KeyA));
    EXPECT_TRUE(reg.KeyExists(KeyA + "\\FileHistory"));
    ASSERT_TRUE(reg.OpenKey(KeyA + "\\FileHistory", false));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());
  }
  const QString a = File("a.fts"), b = File("b.fts"), c = File("c.fts");
  Recent->AddFile(a);
  Recent->AddFile(b);
  Recent->AddFile(c);
  Recent->SaveToRegistry();
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA + "\\FileHistory", false));
    EXPECT_EQ(reg.ReadString("File1"), c);
    EXPECT_EQ(reg.ReadString("File3"), a);
    EXPECT_FALSE(reg.ValueExists("File4"));
  }
  // A deleted file does not come back, and the next save drops it; an entry
  // of the wrong type is dropped alone.
  QFile::remove(b);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(KeyA + "\\FileHistory", false));
    reg.WriteInteger("File4", 7);
  }
  QMenu menu2;
  auto second = MakeList(menu2);
  second->LoadFromRegistry();
  EXPECT_EQ(second->Files(), QStringList({c, a}));
  EXPECT_EQ(menu2.actions()[2]->text(), "&2 " + a);
  second->SaveToRegistry();
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(KeyA + "\\FileHistory", false));
  EXPECT_EQ(reg.ReadString("File2"), a);
  EXPECT_FALSE(reg.ValueExists("File3"));
}

TEST_F(RecentFilesTest, MaxFilesCuts) {
  for (int i = 0; i < 5; ++i) Recent->AddFile(File(QStringLiteral("m%1").arg(i)));
  Recent->SetMaxFiles(12);
  EXPECT_EQ(Recent->MaxFiles(), 9);
  Recent->SetMaxFiles(2);
  EXPECT_EQ(Recent->Files().size(), 2);
  EXPECT_EQ(Recent->Files().first(), Dir.filePath("m4"));
  Recent->SetMaxFiles(0);
  EXPECT_TRUE(Menu.actions().isEmpty());
}
