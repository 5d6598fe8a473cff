// The settings between runs of the program: where a run keeps its working
// copy when the temporary folder cannot hold it, what runs that a signal
// ended leave behind, and two runs that store in turn.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "RegistryTestUtil.h"
#include "platform/Registry.h"
#include "support/RunAgain.h"

namespace {
const QString kImageDir = QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/Application/ImageDir");

// A settings file as a run of the program leaves it.
void StoreImageDir(const QString& File, const QString& Value) {
  TRegistry::SetStorageFile(File);
  {
    TRegistry reg;
    ASSERT_TRUE(reg.OpenKey(kKeyA, true));
    reg.WriteString(QStringLiteral("ImageDir"), Value);
  }
  TRegistry::SetStorageFile(QString());
}

// Fills a file system until nothing more fits.
void FillUp(const std::string& Folder) {
  const int fd = ::open((Folder + "/filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  static const char block[4096] = {};
  while (fd >= 0 && ::write(fd, block, sizeof block) > 0) {
  }
  if (fd >= 0) ::close(fd);
}

// A memory file system of its own at Folder, seen only by this process and
// those it starts; 93 where none can be mounted here.
int MountOwnFileSystem(const std::string& Folder, unsigned long Flags) {
  if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return 93;
  if (::mount("corvelle-test", Folder.c_str(), "tmpfs", 0, "size=64k") != 0) return 93;
  if (Flags & MS_RDONLY)
    return ::mount(nullptr, Folder.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0 ? 0 : 93;
  FillUp(Folder);
  return 0;
}

constexpr const char* kPlace = "CORVELLE_TEST_SETTINGS_PLACE";

// What a folder holds under the copies' name (the test's own runs put their
// settings there too).
QStringList Copies(const QString& Folder) {
  return QDir(Folder).entryList({QStringLiteral("corvelle-settings-copy-*")},
                                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
}  // namespace

// The temporary folder cannot hold the working copy (full, not writable, on
// a read-only file system, a file): the settings are read from their file
// all the same, the copy goes beside it, and the run's changes are stored.
// Only where the settings folder cannot hold it either is that said, naming
// the temporary folder and why; the file is then left as it is. A settings
// folder that may be read but not written fails each store at once, in
// words. Each row is a run of its own.
TEST(RegistryPlaces, TheSettingsAreReadAndStoredWhereverTheWorkingCopyCanGo) {
  enum TTemporary { Full, NotWritable, ReadOnlyFileSystem, AFile, Usable };
  const struct {
    const char* What;
    TTemporary Temporary;
    bool SettingsWritable;
  } cases[] = {
      {"a full temporary folder", Full, true},
      {"a temporary folder its user may not write", NotWritable, true},
      {"a temporary folder on a read-only file system", ReadOnlyFileSystem, true},
      {"a file in place of the temporary folder", AFile, true},
      {"a file in place of the temporary folder, a settings folder its user may not write", AFile, false},
      {"a settings folder its user may not write", Usable, false},
  };
  if (const char* row = std::getenv(kPlace)) {
    // The run: the value from the file, a change, and a look at it later.
    const auto& c = cases[std::atoi(row)];
    const QString where = QString::fromLocal8Bit(std::strchr(row, ':') + 1);
    const QString file = where + QStringLiteral("/settings/registry.ini");
    TBoxes boxes;
    TRegistry::SetStorageFile(file);
    QElapsedTimer clock;
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(kKeyA, false)) << "the settings were not read";
      EXPECT_EQ(reg.ReadString(QStringLiteral("ImageDir")), QStringLiteral("/from/the/file"));
      reg.WriteString(QStringLiteral("ImageDir"), QStringLiteral("/changed/in/the/run"));
      clock.start();
    }
    qint64 storeMs = clock.elapsed();
    {
      TRegistry reg;
      ASSERT_TRUE(reg.OpenKey(kKeyA, false));
      EXPECT_EQ(reg.ReadString(QStringLiteral("ImageDir")), QStringLiteral("/changed/in/the/run"));
      reg.WriteString(QStringLiteral("ImageDir"), QStringLiteral("/changed/again"));
      clock.start();
    }
    storeMs = std::max(storeMs, clock.elapsed());
    const QStringList beside = Besides(where + QStringLiteral("/settings"));
    if (!c.SettingsWritable && c.Temporary == Usable) {
      // Said once, in words, and at once each time.
      EXPECT_LT(storeMs, 1500) << "the store waited";
      EXPECT_EQ(boxes.Texts, std::vector<QString>{QStringLiteral("The settings could not be stored (the lock file "
                                                                 "%1.lock could not be made: %2). The settings file %1 "
                                                                 "has been left as it was.")
                                                      .arg(file, QString::fromLocal8Bit(std::strerror(EACCES)))});
      EXPECT_EQ(beside, QStringList());
    } else if (!c.SettingsWritable) {
      EXPECT_EQ(boxes.Texts,
                std::vector<QString>{QStringLiteral("Changes made to the settings in this session will not be kept: "
                                                    "no working copy of them could be made, neither in the temporary "
                                                    "folder %1 (%2) nor beside the settings file %3 (%4).")
                                         .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(ENOTDIR)), file,
                                              QString::fromLocal8Bit(std::strerror(EACCES)))});
      EXPECT_EQ(beside, QStringList());
    } else {
      EXPECT_EQ(boxes.Texts, std::vector<QString>());
      // The run's own folder, beside the file while the run lasts.
      EXPECT_EQ(beside.size(), 1);
      EXPECT_TRUE(beside.value(0).startsWith(QStringLiteral(".registry.ini.copy-"))) << beside.join(' ').toStdString();
    }
    TRegistry::SetStorageFile(QString());
    return;
  }
  for (int i = 0; i < int(std::size(cases)); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.What);
    QTemporaryDir where;
    ASSERT_TRUE(where.isValid());
    const QString settings = where.filePath(QStringLiteral("settings"));
    const QString file = settings + QStringLiteral("/registry.ini");
    StoreImageDir(file, QStringLiteral("/from/the/file"));
    const QByteArray old = ReadAll(file);
    const std::string temporary =
        where.filePath(c.Temporary == AFile ? QStringLiteral("temporary.txt") : QStringLiteral("temporary")).toStdString();
    if (c.Temporary == AFile) {
      QFile f(QString::fromStdString(temporary));
      ASSERT_TRUE(f.open(QIODevice::WriteOnly));
      f.write("not a folder\n");
    } else {
      ::mkdir(temporary.c_str(), c.Temporary == NotWritable ? 0555 : 0700);
    }
    if (!c.SettingsWritable) ::chmod(QFile::encodeName(settings).constData(), 0555);
    const QByteArray temporaryBefore = ReadAll(QString::fromStdString(temporary));
    const std::string row = std::to_string(i) + ":" + where.path().toStdString();
    const int code = RunThisTestAgain(kPlace, row.c_str(), 30, [&] {
      if (c.Temporary == Full || c.Temporary == ReadOnlyFileSystem)
        if (const int failed = MountOwnFileSystem(temporary, c.Temporary == Full ? 0 : MS_RDONLY)) return failed;
      ::setenv("TMPDIR", temporary.c_str(), 1);
      return ::geteuid() == 0 ? DropFileRights() : 0;
    });
    ::chmod(QFile::encodeName(settings).constData(), 0700);
    if (code == 93) {
      std::printf("[ figures  ] %s: not made here (no file system can be mounted)\n", c.What);
      continue;
    }
    EXPECT_EQ(code, 0) << (code == -1 ? "the run did not end" : "the run failed");
    if (c.SettingsWritable) {
      EXPECT_EQ(QSettings(file, QSettings::IniFormat).value(kImageDir), QStringLiteral("sz:/changed/again"));
    } else {
      EXPECT_EQ(ReadAll(file), old);
    }
    // Nothing left beside the file, nothing put in the temporary folder.
    EXPECT_EQ(Besides(settings), QStringList());
    if (c.Temporary == AFile) {
      EXPECT_EQ(ReadAll(QString::fromStdString(temporary)), temporaryBefore);
    } else {
      EXPECT_EQ(Copies(QString::fromStdString(temporary)), QStringList());
    }
  }
}

namespace {
constexpr const char* kHolder = "CORVELLE_TEST_SETTINGS_HOLDER";

// Waits for a run to have stored its settings and be holding its copy.
bool WaitForFile(const QString& Name) {
  for (int i = 0; i < 600; ++i) {
    if (QFileInfo::exists(Name)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace

// A run that a signal ends leaves its working copy behind, in the temporary
// folder or beside the settings file. The next start removes it, and only
// it: a live run's copy, another user's folder of the same name and what is
// not ours stay.
TEST(RegistryPlaces, ACopyLeftByARunThatEndedIsRemovedAtTheNextStart) {
  if (const char* role = std::getenv(kHolder)) {
    // A run that stores, says so and then holds on until it is ended.
    const QString where = QString::fromLocal8Bit(role + 2);
    StoreImageDir(where + QStringLiteral("/settings/registry.ini"), QStringLiteral("/run/%1").arg(::getpid()));
    if (role[0] == 'h') {
      QFile(where + QStringLiteral("/stored-%1").arg(::getpid())).open(QIODevice::WriteOnly);
      for (;;) ::pause();
    }
    return;
  }
  QTemporaryDir where;
  ASSERT_TRUE(where.isValid());
  const QString temporary = where.filePath(QStringLiteral("temporary"));
  const QString settings = where.filePath(QStringLiteral("settings"));
  ASSERT_TRUE(QDir().mkpath(temporary));
  ASSERT_TRUE(QDir().mkpath(settings));
  QFile(where.filePath(QStringLiteral("temporary.txt"))).open(QIODevice::WriteOnly);
  // Not ours: another user's folder, and a file of the same kind of name.
  const QString others = temporary + QStringLiteral("/corvelle-settings-copy-Other1");
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_TRUE(QDir().mkpath(others));
    ::chown(QFile::encodeName(others).constData(), 65534, 65534);
  }
  QFile(temporary + QStringLiteral("/corvelle-settings-copy-AFile1")).open(QIODevice::WriteOnly);
  const QStringList notOurs = Copies(temporary);
  auto start = [&](const char* Role, const QString& Tmp) {
    const std::string value = std::string(Role) + ":" + where.path().toStdString();
    const std::string tmp = Tmp.toStdString();
    return StartThisTestAgain(kHolder, value.c_str(), [tmp] { return ::setenv("TMPDIR", tmp.c_str(), 1); });
  };
  // Two runs ended by a signal: one with its copy in the temporary folder,
  // one beside the settings file; and one that lives on.
  std::vector<pid_t> runs;
  for (const QString& tmp : {temporary, where.filePath(QStringLiteral("temporary.txt")), temporary}) {
    const pid_t run = start("h", tmp);
    ASSERT_GT(run, 0);
    runs.push_back(run);
    ASSERT_TRUE(WaitForFile(where.filePath(QStringLiteral("stored-%1").arg(run)))) << "a run did not store";
  }
  for (const pid_t run : {runs[0], runs[1]}) {
    ::kill(run, SIGKILL);
    ::waitpid(run, nullptr, 0);
  }
  EXPECT_EQ(Copies(temporary).size(), notOurs.size() + 2) << "the runs made no copies there";
  EXPECT_EQ(Besides(settings).size(), 1) << "the run made no copy beside the file";
  // The next start.
  const pid_t next = start("n", temporary);
  ASSERT_GT(next, 0);
  EXPECT_EQ(WaitForTestRun(next, 60), 0);
  QStringList left = Copies(temporary);
  for (const QString& name : notOurs) EXPECT_TRUE(left.removeOne(name)) << name.toStdString() << " was removed";
  EXPECT_EQ(left.size(), 1) << "left behind: " << left.join(' ').toStdString();
  EXPECT_EQ(Besides(settings), QStringList());
  // The next run's settings were read and stored.
  EXPECT_EQ(QSettings(settings + QStringLiteral("/registry.ini"), QSettings::IniFormat).value(kImageDir),
            QStringLiteral("sz:/run/%1").arg(next));
  ::kill(runs[2], SIGTERM);
  ::waitpid(runs[2], nullptr, 0);
  if (root) ::chown(QFile::encodeName(others).constData(), ::getuid(), ::getgid());
}

namespace {
constexpr const char* kTurns = "CORVELLE_TEST_SETTINGS_TURNS";
constexpr int kTurnIn = 200, kTurnOut = 201;

// A run of the program, kept going, that stores or tells its settings when
// asked: "set NAME VALUE" stores a value of key A, "values" tells them all
// (NAME=VALUE lines); "hold" opens the settings and keeps them open, and
// "store NAME VALUE" sets a value there and then closes them, which stores.
// Each answer ends with an empty line.
class TRun {
 public:
  explicit TRun(const QString& File) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    const std::string file = File.toStdString();
    Pid = StartThisTestAgain(kTurns, file.c_str(), [&] {
      return ::dup2(in[0], kTurnIn) == kTurnIn && ::dup2(out[1], kTurnOut) == kTurnOut ? 0 : 94;
    });
    ::close(in[0]);
    ::close(out[1]);
    To = in[1];
    From = out[0];
  }
  ~TRun() {
    ::close(To);
    ::close(From);
    if (Pid > 0) {
      EXPECT_EQ(WaitForTestRun(Pid, 30), 0) << "a run failed or did not end";
    }
  }
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;
  bool Started() const { return Pid > 0; }
  std::map<QString, QString> Values() { return Parse(Ask("values")); }
  void Do(const QString& Command) { EXPECT_EQ(Ask(Command), QString()); }

  static std::map<QString, QString> Parse(const QString& Lines) {
    std::map<QString, QString> values;
    for (const QString& line : Lines.split('\n', Qt::SkipEmptyParts)) values[line.section('=', 0, 0)] = line.section('=', 1);
    return values;
  }

 private:
  QString Ask(const QString& Command) {
    const QByteArray line = Command.toUtf8() + '\n';
    if (::write(To, line.constData(), size_t(line.size())) != line.size()) return QStringLiteral("(not asked)");
    QByteArray answer;
    char c = 0;
    while (!answer.endsWith("\n\n") && ::read(From, &c, 1) == 1) answer += c;
    return QString::fromUtf8(answer).trimmed();
  }
  pid_t Pid = -1;
  int To = -1, From = -1;
};

// A run's answers to what TRun asks, each through a settings object of its
// own, as the program's windows use them.
void AnswerTurns(const QString& File) {
  TRegistry::SetStorageFile(File);
  FILE* in = ::fdopen(kTurnIn, "r");
  ASSERT_NE(in, nullptr);
  char line[512];
  std::unique_ptr<TRegistry> held;
  while (std::fgets(line, sizeof line, in)) {
    const QString command = QString::fromUtf8(line).trimmed();
    const QString verb = command.section(' ', 0, 0);
    QString answer;
    if (verb == QStringLiteral("hold")) {
      held = std::make_unique<TRegistry>();
      ASSERT_TRUE(held->OpenKey(kKeyA, true));
    } else if (verb == QStringLiteral("store")) {
      ASSERT_TRUE(held);
      held->WriteString(command.section(' ', 1, 1), command.section(' ', 2));
      held.reset();
    } else {
      TRegistry reg;
      if (verb == QStringLiteral("set")) {
        ASSERT_TRUE(reg.OpenKey(kKeyA, true));
        reg.WriteString(command.section(' ', 1, 1), command.section(' ', 2));
      } else if (reg.OpenKey(kKeyA, false)) {
        for (const QString& name : reg.GetValueNames()) answer += name + '=' + reg.ReadString(name) + '\n';
      }
    }
    const QByteArray bytes = answer.toUtf8() + "\n\n";
    ASSERT_EQ(::write(kTurnOut, bytes.constData(), size_t(bytes.size())), bytes.size());
  }
  std::fclose(in);
  TRegistry::SetStorageFile(QString());
}

std::map<QString, QString> StoredValues(const QString& File) {
  const QSettings stored(File, QSettings::IniFormat);
  std::map<QString, QString> values;
  const QString group = QStringLiteral("HKEY_CURRENT_USER/Software/Quorvath/Corvelle Image/2.0ZUL/Application/");
  for (const QString& key : stored.allKeys())
    if (key.startsWith(group) && !key.endsWith(QStringLiteral("/.key")))
      values[key.mid(group.size())] = stored.value(key).toString().mid(3);
  return values;
}
}  // namespace

// Two runs of the program at once, each storing in turn: every store keeps
// what the other run stored meanwhile, a value the other changed since
// included, and each run then reads what the other stored.
TEST(RegistryRuns, TwoRunsStoringInTurnsEachKeepWhatTheOtherStored) {
  if (const char* file = std::getenv(kTurns)) {
    AnswerTurns(QString::fromLocal8Bit(file));
    return;
  }
  QTemporaryDir where;
  ASSERT_TRUE(where.isValid());
  const QString file = where.filePath(QStringLiteral("registry.ini"));
  StoreImageDir(file, QStringLiteral("/0"));
  std::map<QString, QString> expected{{QStringLiteral("ImageDir"), QStringLiteral("/0")}};
  {
    TRun a(file), b(file);
    ASSERT_TRUE(a.Started() && b.Started());
    // Both have read the file before either stores.
    EXPECT_EQ(a.Values(), expected);
    EXPECT_EQ(b.Values(), expected);
    // A value each run stores, and when; a run may open its settings
    // before the other stores and store after.
    const struct {
      TRun& Run;
      const char* Command;
    } turns[] = {
        {a, "set One a1"},   {b, "set Two b1"},       {a, "set Three a1"},
        {b, "set One b2"},  // changes what the other stored
        {a, "set Four a1"},  {b, "set ImageDir /b"},  {a, "hold"},
        {b, "set Five b1"},  {a, "store Six a1"},     {b, "hold"},
        {a, "set Two a2"},   {b, "store Seven b1"},
    };
    for (const auto& t : turns) {
      SCOPED_TRACE(t.Command);
      t.Run.Do(QString::fromLatin1(t.Command));
      const QStringList words = QString::fromLatin1(t.Command).split(' ');
      if (words.size() == 3) expected[words[1]] = words[2];
      EXPECT_EQ(StoredValues(file), expected);
    }
    EXPECT_EQ(a.Values(), expected);
    EXPECT_EQ(b.Values(), expected);
  }
  EXPECT_EQ(StoredValues(file), expected);
}
