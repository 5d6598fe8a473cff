#pragma once
// The program's start-up: the splash window, the main window, then every
// dialog and tool window once, in a fixed order, each in its global variable
// for the program's lifetime.
class TMainForm;

// Creates the windows that follow the main window and connects them to it and
// to the open and save dispatch; marks the main window as started up.
void CreateForms(TMainForm* Form);
// Frees them again (the program's end, and tests).
void FreeForms();

// The whole program: start-up, message loop, end. Returns the exit code.
int RunProgram(int& argc, char** argv);
