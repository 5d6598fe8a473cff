#pragma once
// The program's start-up: the splash window, the main window, then every
// dialog and tool window once, in a fixed order, each in its global variable
// for the program's lifetime.
#include <memory>

class TMainForm;

inline constexpr const char* msgNoMemoryToStart = "There is not enough memory to start Corvelle Image.";

// Creates the windows that follow the main window and connects them to it and
// to the open and save dispatch; marks the main window as started up.
void CreateForms(TMainForm* Form);
// Frees them again (the program's end, and tests).
void FreeForms();

// The splash window, the main window and every window after it, shown. When
// memory runs out on the way, one line says there is not enough memory to
// start (in a box, or on the error stream when not even a box can be had) and
// the program ends at once with status 1, nothing stored.
std::unique_ptr<TMainForm> StartUp();

// The whole program: start-up, message loop, end. Returns the exit code.
int RunProgram(int& argc, char** argv);
