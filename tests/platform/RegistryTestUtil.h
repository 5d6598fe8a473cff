#pragma once
// What the settings tests share: the boxes said, the files as they stand, and
// runs of the test without root's rights over files.
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QString>
#include <vector>

#include "platform/MessageBox.h"

inline const QString kKeyA = QStringLiteral("Software\\Quorvath\\Corvelle Image\\2.0ZUL\\Application");

// Every box, answered OK.
struct TBoxes {
  TBoxes() {
    Previous = MessageBox::SetHook([this](TMsgDlgType Type, const QString& Text, unsigned) {
      EXPECT_EQ(Type, TMsgDlgType::mtWarning);
      Texts.push_back(Text);
      return int(mrOk);
    });
  }
  ~TBoxes() { MessageBox::SetHook(Previous); }
  std::vector<QString> Texts;
  MessageBox::THook Previous;
};

inline QByteArray ReadAll(const QString& Name) {
  QFile f(Name);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
}

// What a folder holds besides the settings file: temporaries, a lock, copies.
inline QStringList Besides(const QString& Folder) {
  QStringList names = QDir(Folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  names.removeAll(QStringLiteral("registry.ini"));
  return names;
}

// Takes from this process root's right to read, write and search any file, as
// any other user runs the program: still root, so that it can run wherever
// the test program lies, but bound by the files' modes. 0, or 91 when the
// rights cannot be dropped.
inline int DropFileRights() {
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
    if (::prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) return 91;
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (::syscall(SYS_capget, &header, data) != 0) return 91;
  for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    const unsigned bit = 1u << cap;
    data[0].effective &= ~bit;
    data[0].permitted &= ~bit;
    data[0].inheritable &= ~bit;
  }
  return ::syscall(SYS_capset, &header, data) == 0 ? 0 : 91;
}
