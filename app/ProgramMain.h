#pragma once
// The program: the main window first (its creation runs the single-instance
// guard and loads the schedule), then the data module, then the event loop.
// The shipped executable's main() is only this; a test build may install
// answers for the program's boxes before calling it.

int ProgramMain(int argc, char* argv[]);
