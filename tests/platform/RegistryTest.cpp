#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <functional>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Registry.h"

namespace {
const QString kKeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");

// Each test gets a store of its own.
class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Dir.isValid());
    TRegistry::SetStorageFile(Dir.filePath(QStringLiteral("registry.ini")));
  }
  void TearDown() override { TRegistry::SetStorageFile(QString()); }
  QTemporaryDir Dir;
};
}  // namespace

TEST_F(RegistryTest, FirstRunOpenWithoutCreateFails) {
  TRegistry reg;
  EXPECT_FALSE(reg.OpenKey(kKeyA, false));
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_FALSE(reg.KeyExists(kKeyA));
  // Writing with no key open fails, as saving settings on a first run does.
  EXPECT_THROW(reg.WriteInteger(QStringLiteral("State"), 1), ERegistryException);
}

TEST_F(RegistryTest, CreatingSubkeyCreatesParentsAndEmptyKeysExist) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKeyA + QStringLiteral("\\FileHistory"), true));
    EXPECT_TRUE(reg.GetValueNames().isEmpty());
  }
  TRegistry reg;
  EXPECT_TRUE(reg.KeyExists(kKeyA));
  EXPECT_TRUE(reg.KeyExists(QStringLiteral("Software\\Quorvath")));
  EXPECT_TRUE(reg.KeyExists(kKeyA + QStringLiteral("\\FileHistory")));
  EXPECT_FALSE(reg.KeyExists(kKeyA + QStringLiteral("\\Toolbars")));
  ASSERT_TRUE(reg.OpenKey(kKeyA, false));
  EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("FileHistory")});
  EXPECT_TRUE(reg.GetValueNames().isEmpty());
}

TEST_F(RegistryTest, MissingValuesThrowExceptStrings) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKeyA, true));
  EXPECT_THROW(reg.ReadInteger(QStringLiteral("State")), ERegistryException);
  EXPECT_THROW(reg.ReadFloat(QStringLiteral("Zero Point")), ERegistryException);
  EXPECT_THROW(reg.ReadBool(QStringLiteral("Flag")), ERegistryException);
  char buf[4];
  EXPECT_THROW(reg.ReadBinaryData(QStringLiteral("ROIColour"), buf, 4), ERegistryException);
  EXPECT_EQ(reg.ReadString(QStringLiteral("ImageDir")), QString());
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("ImageDir")));
  EXPECT_EQ(reg.GetDataSize(QStringLiteral("ImageDir")), -1);
}

TEST_F(RegistryTest, TypedValuesRoundTripAcrossObjects) {
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKeyA, true));
    reg.WriteInteger(QStringLiteral("State"), -7);
    reg.WriteString(QStringLiteral("ImageDir"), QStringLiteral("/home/obs/images, \"raw\" = 1"));
    reg.WriteFloat(QStringLiteral("Zero Point"), 21.125);
    reg.WriteBool(QStringLiteral("Visible"), true);
    const unsigned char colour[4] = {0xFF, 0xFF, 0xFF, 0x00};
    reg.WriteBinaryData(QStringLiteral("ROIColour"), colour, 4);
    reg.WriteString(QStringLiteral("a/b\\c"), QStringLiteral("odd name"));
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QLatin1Char('\\') + kKeyA, false));
  EXPECT_EQ(reg.ReadInteger(QStringLiteral("State")), -7);
  EXPECT_EQ(reg.ReadString(QStringLiteral("ImageDir")), QStringLiteral("/home/obs/images, \"raw\" = 1"));
  EXPECT_EQ(reg.ReadFloat(QStringLiteral("Zero Point")), 21.125);
  EXPECT_TRUE(reg.ReadBool(QStringLiteral("Visible")));
  unsigned char colour[4] = {};
  EXPECT_EQ(reg.ReadBinaryData(QStringLiteral("ROIColour"), colour, 4), 4);
  EXPECT_EQ(colour[0], 0xFF);
  EXPECT_EQ(colour[3], 0x00);
  EXPECT_EQ(reg.GetDataSize(QStringLiteral("ROIColour")), 4);
  EXPECT_EQ(reg.ReadString(QStringLiteral("a/b\\c")), QStringLiteral("odd name"));
  EXPECT_EQ(reg.GetDataType(QStringLiteral("State")), TRegDataType::rdInteger);
  EXPECT_EQ(reg.GetDataType(QStringLiteral("ImageDir")), TRegDataType::rdString);
  EXPECT_EQ(reg.GetDataType(QStringLiteral("ROIColour")), TRegDataType::rdBinary);
  QStringList names = reg.GetValueNames();
  names.sort();
  EXPECT_EQ(names.size(), 6);
  EXPECT_TRUE(names.contains(QStringLiteral("a/b\\c")));
}

TEST_F(RegistryTest, WrongTypeThrows) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(kKeyA, true));
  reg.WriteString(QStringLiteral("State"), QStringLiteral("1"));
  reg.WriteInteger(QStringLiteral("Name"), 3);
  EXPECT_THROW(reg.ReadInteger(QStringLiteral("State")), ERegistryException);
  EXPECT_THROW(reg.ReadString(QStringLiteral("Name")), ERegistryException);
  unsigned char small[2];
  const unsigned char four[4] = {1, 2, 3, 4};
  reg.WriteBinaryData(QStringLiteral("Bin"), four, 4);
  EXPECT_THROW(reg.ReadBinaryData(QStringLiteral("Bin"), small, 2), ERegistryException);
}

TEST_F(RegistryTest, RelativeKeysAndDeletion) {
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL"), true));
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("Filters"), true));  // relative to the open key
  EXPECT_EQ(reg.CurrentPath(), QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters"));
  ASSERT_TRUE(reg.CreateKey(QStringLiteral("Sharpen")));
  ASSERT_TRUE(reg.CreateKey(QStringLiteral("Blur")));
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("Blur"), false));
  reg.WriteString(QStringLiteral("Filter"), QStringLiteral("1,1,1,1,1,1,1,1,1"));
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters"), false));
  QStringList keys = reg.GetKeyNames();
  keys.sort();
  EXPECT_EQ(keys, (QStringList{QStringLiteral("Blur"), QStringLiteral("Sharpen")}));
  EXPECT_TRUE(reg.DeleteKey(QStringLiteral("Blur")));
  EXPECT_FALSE(reg.DeleteKey(QStringLiteral("Blur")));
  EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("Sharpen")});
  EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters\\Blur")));

  // Deleting a key takes its subkeys with it.
  ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software\\Quorvath"), false));
  EXPECT_TRUE(reg.DeleteKey(QStringLiteral("Corvelle Image")));
  EXPECT_FALSE(reg.KeyExists(QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters\\Sharpen")));
  EXPECT_TRUE(reg.KeyExists(QStringLiteral("\\Software\\Quorvath")));

  ASSERT_TRUE(reg.OpenKey(QStringLiteral("\\Software"), false));
  reg.WriteInteger(QStringLiteral("X"), 1);
  EXPECT_TRUE(reg.DeleteValue(QStringLiteral("X")));
  EXPECT_FALSE(reg.DeleteValue(QStringLiteral("X")));
  EXPECT_FALSE(reg.ValueExists(QStringLiteral("X")));
  reg.CloseKey();
  EXPECT_FALSE(reg.HasCurrentKey());
}

TEST_F(RegistryTest, NoEmptyNameStandsForItsParentKey) {
  const QString filters = QStringLiteral("\\Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Filters");
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(filters + QStringLiteral("\\Sharpen"), true));
    reg.WriteString(QStringLiteral("Filter"), QStringLiteral("0,-1,0,-1,5,-1,0,-1,0"));
  }
  {
    // An entry named "\", as a damaged or hand-edited file holds it.
    QSettings raw(Dir.filePath(QStringLiteral("registry.ini")), QSettings::IniFormat);
    raw.setValue(QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/Filters/%5C/.key"), 1);
  }
  TRegistry reg;
  ASSERT_TRUE(reg.OpenKey(filters, false));
  QStringList names = reg.GetKeyNames();
  names.sort();
  EXPECT_EQ(names, (QStringList{QStringLiteral("Sharpen"), QStringLiteral("\\")}));
  // The paths a name of "", "\" or "\\" makes under "Filters".
  const struct {
    const char* What;
    std::function<bool(TRegistry&)> Call;
  } refused[] = {
      {"delete Filters\\", [&](TRegistry& r) { return r.DeleteKey(filters + QStringLiteral("\\")); }},
      {"delete Filters\\\\", [&](TRegistry& r) { return r.DeleteKey(filters + QStringLiteral("\\\\")); }},
      {"delete relative \"\"", [&](TRegistry& r) { return r.OpenKey(filters, false) && r.DeleteKey(QString()); }},
      {"write into Filters\\\\", [&](TRegistry& r) { return r.OpenKey(filters + QStringLiteral("\\\\"), true); }},
      {"create Filters\\\\x", [&](TRegistry& r) { return r.CreateKey(filters + QStringLiteral("\\\\x")); }},
      {"delete the root", [&](TRegistry& r) { return r.DeleteKey(QStringLiteral("\\")); }},
  };
  for (const auto& c : refused) {
    TRegistry r;
    EXPECT_FALSE(c.Call(r)) << c.What;
    EXPECT_TRUE(r.KeyExists(filters + QStringLiteral("\\Sharpen"))) << c.What;
    EXPECT_EQ(r.OpenKey(filters, false) ? r.GetKeyNames().size() : 0, 2) << c.What;
  }
  // The damaged entry itself goes by its own name, and only it.
  EXPECT_FALSE(reg.DeleteSubKey(QString()));
  EXPECT_FALSE(reg.DeleteSubKey(QStringLiteral("Blur")));
  EXPECT_TRUE(reg.DeleteSubKey(QStringLiteral("\\")));
  EXPECT_EQ(reg.GetKeyNames(), QStringList{QStringLiteral("Sharpen")});
  ASSERT_TRUE(reg.OpenKey(filters + QStringLiteral("\\Sharpen"), false));
  EXPECT_EQ(reg.ReadString(QStringLiteral("Filter")), QStringLiteral("0,-1,0,-1,5,-1,0,-1,0"));
}

TEST_F(RegistryTest, AStoreThatCannotBeParsedIsKeptAsideAndTheUserToldOnce) {
  std::vector<QString> boxes;
  const MessageBox::THook previous = MessageBox::SetHook([&](TMsgDlgType Type, const QString& Text, unsigned) {
    EXPECT_EQ(Type, TMsgDlgType::mtWarning);
    boxes.push_back(Text);
    return int(mrOk);
  });
  const QString file = Dir.filePath(QStringLiteral("registry.ini"));
  auto damage = [&](const QByteArray& Bytes) {
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(Bytes);
  };
  auto read = [](const QString& Path) {
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
  };
  // Half a section header before good values, then bytes that are no text.
  const QByteArray first("[HKEY_CURRENT_USER/Software\nState=dword:1\n[HKEY_CURRENT_USER]\nx=sz:1\n");
  const QByteArray second("\xff\xfe garbage\n[");
  damage(first);
  {
    TRegistry reg;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(read(file + QStringLiteral(".damaged")), first);
    EXPECT_TRUE(boxes[0].contains(file + QStringLiteral(".damaged"))) << boxes[0].toStdString();
    // The store starts empty and takes new values.
    EXPECT_FALSE(reg.KeyExists(QStringLiteral("Software")));
    ASSERT_TRUE(reg.OpenKey(kKeyA, true));
    reg.WriteInteger(QStringLiteral("State"), 2);
  }
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKeyA, false));
    EXPECT_EQ(reg.ReadInteger(QStringLiteral("State")), 2);
  }
  EXPECT_EQ(boxes.size(), 1u);
  // A second damage keeps the first one aside too.
  damage(second);
  TRegistry reg;
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(read(file + QStringLiteral(".damaged")), first);
  EXPECT_EQ(read(file + QStringLiteral(".damaged-2")), second);
  MessageBox::SetHook(previous);
}

// A settings file in any text but the program's own (UTF-8), or no text at
// all, is kept aside with one warning before the defaults start; the
// program's own text, with or without a byte-order mark, is read.
TEST(RegistryEncodings, AFileNotInTheProgramsOwnTextIsKeptAsideWithOneWarning) {
  std::vector<QString> boxes;
  const MessageBox::THook previous = MessageBox::SetHook([&](TMsgDlgType Type, const QString& Text, unsigned) {
    EXPECT_EQ(Type, TMsgDlgType::mtWarning);
    boxes.push_back(Text);
    return int(mrOk);
  });
  // The text the program writes, with a folder name beyond ASCII.
  const QString folder = QStringLiteral("/data/\u00c5ngstr\u00f6m/M\u00b2");
  QByteArray own;
  {
    QTemporaryDir dir;
    TRegistry::SetStorageFile(dir.filePath(QStringLiteral("registry.ini")));
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(kKeyA, true));
      reg.WriteString(QStringLiteral("ImageDir"), folder);
      reg.WriteInteger(QStringLiteral("SavePrompt"), 0);
    }
    QFile f(dir.filePath(QStringLiteral("registry.ini")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    own = f.readAll();
  }
  ASSERT_TRUE(own.contains("\xc3\x85ngstr"));
  auto encoded = [&own](QStringConverter::Encoding E, bool Mark) {
    QStringEncoder encode(E, Mark ? QStringConverter::Flag::WriteBom : QStringConverter::Flag::Default);
    return QByteArray(encode(QString::fromUtf8(own)));
  };
  QByteArray noise(4096, '\0');
  std::uint32_t seed = 2024;
  for (char& c : noise) c = char((seed = seed * 1664525u + 1013904223u) >> 24);
  QByteArray latin1 = own;
  latin1.replace("\xc3\x85", "\xc5").replace("\xc3\xb6", "\xf6").replace("\xc2\xb2", "\xb2");
  QByteArray withNul = own;
  withNul.insert(withNul.indexOf("SavePrompt"), '\0');
  const struct {
    const char* What;
    QByteArray Bytes;
    bool KeptAside;
  } cases[] = {
      {"UTF-16 with a byte-order mark", encoded(QStringConverter::Utf16, true), true},
      {"UTF-16LE", encoded(QStringConverter::Utf16LE, false), true},
      {"UTF-16BE", encoded(QStringConverter::Utf16BE, false), true},
      {"UTF-32 with a byte-order mark", encoded(QStringConverter::Utf32, true), true},
      {"Latin-1", latin1, true},
      {"a NUL byte among the lines", withNul, true},
      {"random bytes", noise, true},
      {"the program's own text", own, false},
      {"its own text after a byte-order mark", encoded(QStringConverter::Utf8, true), false},
  };
  int kept = 0, warnings = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("registry.ini"));
    TRegistry::SetStorageFile(file);
    {
      QFile f(file);
      ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(c.Bytes) == c.Bytes.size());
    }
    boxes.clear();
    for (int run = 0; run < 2; ++run) {
      TRegistry reg;
      const bool open = reg.OpenKey(kKeyA, false);
      EXPECT_EQ(open, !c.KeptAside);
      if (open) {
        EXPECT_EQ(reg.ReadString(QStringLiteral("ImageDir")), folder);
        EXPECT_EQ(reg.ReadInteger(QStringLiteral("SavePrompt")), 0);
      }
    }
    warnings += int(boxes.size());
    QFile aside(file + QStringLiteral(".damaged"));
    if (c.KeptAside) {
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_TRUE(boxes[0].contains(aside.fileName())) << boxes[0].toStdString();
      ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
      EXPECT_EQ(aside.readAll(), c.Bytes);
      kept += 1;
    } else {
      EXPECT_TRUE(boxes.empty());
      EXPECT_FALSE(aside.exists());
    }
  }
  std::printf("[ figures  ] %zu settings encodings: %d kept aside, %d warnings, no file lost\n", std::size(cases), kept,
              warnings);
  TRegistry::SetStorageFile(QString());
  MessageBox::SetHook(previous);
}

TEST(RegistryLocation, EnvironmentChoosesTheFolder) {
  const QByteArray dir = qgetenv("CORVELLE_SETTINGS_DIR");
  ASSERT_FALSE(dir.isEmpty()) << "tests must run with CORVELLE_SETTINGS_DIR set";
  EXPECT_EQ(TRegistry::StorageFile(), QString::fromLocal8Bit(dir) + QStringLiteral("/registry.ini"));
}
