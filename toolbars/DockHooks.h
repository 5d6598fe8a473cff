#pragma once
// A reference-counted registry of procedures that learn about application
// activation, window position changes, window destruction and mouse moves
// anywhere in the program. One application event filter serves them all; it
// exists while any procedure needs it.
class QEvent;
class QObject;

namespace DockHooks {

enum THookProcKind { hpSendActivateApp = 0, hpSendWindowPosChanged = 1, hpPreDestroy = 2, hpPostMouseMove = 3 };
using THookProcKinds = unsigned;  // bit (1 << kind) per kind
inline constexpr THookProcKinds Kind(THookProcKind K) { return 1u << unsigned(K); }

// Code: the kind; Wnd: the object the event is for; Event: the event (nullptr
// for a destruction).
using THookProcedure = void (*)(THookProcKind Code, QObject* Wnd, QEvent* Event);

void RegisterHookProcedure(THookProcedure Proc, THookProcKinds Kinds, bool Designing = false);
void UnregisterHookProcedure(THookProcedure Proc);

// How many users each of the three event sources has (activation and
// position; destruction; mouse moves), and whether the filter is installed.
enum THookType { htCallWndProc = 0, htCBT = 1, htGetMessage = 2 };
int HookUseCount(THookType Type);
bool FilterInstalled();
int RegisteredCount(THookProcedure Proc);

bool IsApplicationActive();

}  // namespace DockHooks
