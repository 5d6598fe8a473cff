#pragma once
// The stored positions of a form's tool windows: visibility, dock, row and
// position or floating place, through read and write callbacks or as
// subkeys of a key in the program's registry.
#include <QString>
#include <functional>

class QWidget;
class TDock;

using TPositionReadIntProc = std::function<int(const QString& Section, const QString& Name, int Default)>;
using TPositionReadStringProc =
    std::function<QString(const QString& Section, const QString& Name, const QString& Default)>;
using TPositionWriteIntProc = std::function<void(const QString& Section, const QString& Name, int Value)>;
using TPositionWriteStringProc = std::function<void(const QString& Section, const QString& Name, const QString& Value)>;

TDock* FindDockByName(QWidget* Form, const QString& Name);
void LoadToolbarPositions(QWidget* Form, const TPositionReadIntProc& ReadInt, const TPositionReadStringProc& ReadStr);
void SaveToolbarPositions(QWidget* Form, const TPositionWriteIntProc& WriteInt,
                          const TPositionWriteStringProc& WriteStr);
// Each tool window of Form as a subkey of Key in the program's registry.
void LoadToolbarPositionsFromRegistry(QWidget* Form, const QString& Key);
void SaveToolbarPositionsToRegistry(QWidget* Form, const QString& Key);
