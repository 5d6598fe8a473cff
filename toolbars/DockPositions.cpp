#include "toolbars/DockPositions.h"

#include <algorithm>

#include "platform/Registry.h"
#include "toolbars/DockToolWindow.h"

// ---------------- Stored positions ----------------

namespace {
std::vector<TDock*> DocksOf(QWidget* Form) {
  std::vector<TDock*> out;
  for (TDock* d : TDock::AllDocks())
    if (d->window() == Form) out.push_back(d);
  return out;
}
std::vector<TCustomToolWindow*> ToolWindowsOf(QWidget* Form) {
  std::vector<TCustomToolWindow*> out;
  for (TCustomToolWindow* w : TCustomToolWindow::AllToolWindows())
    if (w->OwnerForm() == Form) out.push_back(w);
  return out;
}
}  // namespace

TDock* FindDockByName(QWidget* Form, const QString& Name) {
  for (TDock* d : DocksOf(Form))
    if (d->objectName() == Name) return d;
  return nullptr;
}

void SaveToolbarPositions(QWidget* Form, const TPositionWriteIntProc& WriteInt,
                          const TPositionWriteStringProc& WriteStr) {
  for (TCustomToolWindow* w : ToolWindowsOf(Form)) {
    const QString name = w->objectName();
    if (name.isEmpty()) throw EDockError(DockConst::STBToolwinNameNotSet);
    QString dockedTo;
    if (!w->Docked()) {
      dockedTo = QStringLiteral("+");
    } else if (w->DockedTo() && w->DockedTo()->AllowDrag()) {
      dockedTo = w->DockedTo()->objectName();
      if (dockedTo.isEmpty()) throw EDockError(DockConst::STBToolwinDockedToNameNotSet);
    }
    WriteInt(name, QStringLiteral("Rev"), 3);
    WriteInt(name, QStringLiteral("Visible"), w->Visible() ? 1 : 0);
    WriteStr(name, QStringLiteral("DockedTo"), dockedTo);
    WriteStr(name, QStringLiteral("LastDock"), w->LastDock() ? w->LastDock()->objectName() : QString());
    WriteInt(name, QStringLiteral("DockRow"), w->DockRow());
    WriteInt(name, QStringLiteral("DockPos"), w->DockPos());
    WriteInt(name, QStringLiteral("FloatLeft"), w->FloatingPosition().x());
    WriteInt(name, QStringLiteral("FloatTop"), w->FloatingPosition().y());
    w->SaveExtraPositionValues([&](const QString& S, const QString& N, int V) { WriteInt(S, N, V); });
  }
}

void LoadToolbarPositions(QWidget* Form, const TPositionReadIntProc& ReadInt, const TPositionReadStringProc& ReadStr) {
  const std::vector<TDock*> docks = DocksOf(Form);
  const std::vector<TCustomToolWindow*> windows = ToolWindowsOf(Form);
  for (TDock* d : docks) d->LockLayout();
  struct TUnlock {
    const std::vector<TDock*>& Docks;
    ~TUnlock() {
      for (auto it = Docks.rbegin(); it != Docks.rend(); ++it) (*it)->UnlockLayout();
    }
  } unlock{docks};
  for (TCustomToolWindow* w : windows) {
    const QString name = w->objectName();
    if (name.isEmpty()) throw EDockError(DockConst::STBToolwinNameNotSet);
    const int rev = ReadInt(name, QStringLiteral("Rev"), 0);
    if (rev != 2 && rev != 3) continue;
    w->setVisible(ReadInt(name, QStringLiteral("Visible"), w->Visible() ? 1 : 0) != 0);
    const QString dockedTo = ReadStr(name, QStringLiteral("DockedTo"), QString());
    if (dockedTo.isEmpty()) continue;
    TDock* target = nullptr;
    if (dockedTo != QLatin1String("+")) {
      target = FindDockByName(Form, dockedTo);
      if (!target || !target->AllowDrag()) continue;
    }
    // Stored numbers come from outside: rows within the number of windows,
    // coordinates within 16 bits.
    const int row = ReadInt(name, QStringLiteral("DockRow"), w->DockRow());
    w->SetStoredPlace(std::clamp(row, 0, int(windows.size())),
                      ReadInt(name, QStringLiteral("DockPos"), w->DockPos()));
    const int left = ReadInt(name, QStringLiteral("FloatLeft"), 0);
    const int top = ReadInt(name, QStringLiteral("FloatTop"), 0);
    w->LoadExtraPositionValues([&](const QString& S, const QString& N, int D) { return ReadInt(S, N, D); });
    w->SetFloatingPosition(QPoint(left, top));
    if (target) {
      w->SetParent(target);
      target->LayoutToolWindows(false);  // runs once, at the unlock
    } else {
      w->SetParent(GetValidToolWindowParentForm(w));
      w->SetBounds(QRect(w->FloatingPosition(), w->size()));
      w->KeepOnWorkArea(true);
      if (rev >= 3 && w->UseLastDock()) {
        const QString last = ReadStr(name, QStringLiteral("LastDock"), QString());
        if (!last.isEmpty())
          if (TDock* d = FindDockByName(Form, last)) w->SetLastDock(d);
      }
    }
    w->ResizeForCurrentDock();
  }
}

namespace {
int ParseInt(const QString& S, int Default) {
  bool ok = false;
  const int v = S.trimmed().toInt(&ok);
  return ok ? v : Default;
}

// One stored value as text: a string, or an integer in decimal; Default when
// it is missing or cannot be read, so one bad value costs only itself.
QString StoredPositionText(const TRegistry& Reg, const QString& Name, const QString& Default) {
  try {
    switch (Reg.GetDataType(Name)) {
      case TRegDataType::rdString: return Reg.ReadString(Name);
      case TRegDataType::rdInteger: return QString::number(Reg.ReadInteger(Name));
      default: return Default;
    }
  } catch (...) {
    return Default;
  }
}
}  // namespace

void LoadToolbarPositionsFromRegistry(QWidget* Form, const QString& Key) {
  TRegistry reg;
  reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
  reg.OpenKey(Key, true);
  const QString base = QStringLiteral("\\") + reg.CurrentPath();
  auto readStr = [&](const QString& Section, const QString& Name, const QString& Default) -> QString {
    TRegistry r;
    if (!r.OpenKey(base + QStringLiteral("\\") + Section, false)) return Default;
    return StoredPositionText(r, Name, Default);
  };
  auto readInt = [&](const QString& Section, const QString& Name, int Default) -> int {
    const QString s = readStr(Section, Name, QString());
    return s.isEmpty() ? Default : ParseInt(s, Default);
  };
  LoadToolbarPositions(Form, readInt, readStr);
}

void SaveToolbarPositionsToRegistry(QWidget* Form, const QString& Key) {
  TRegistry reg;
  reg.RootKey = TRegRootKey::HKEY_CURRENT_USER;
  reg.OpenKey(Key, true);
  const QString base = QStringLiteral("\\") + reg.CurrentPath();
  auto writeStr = [&](const QString& Section, const QString& Name, const QString& Value) {
    TRegistry r;
    r.OpenKey(base + QStringLiteral("\\") + Section, true);
    r.WriteString(Name, Value);
  };
  auto writeInt = [&](const QString& Section, const QString& Name, int Value) {
    writeStr(Section, Name, QString::number(Value));
  };
  SaveToolbarPositions(Form, writeInt, writeStr);
}
