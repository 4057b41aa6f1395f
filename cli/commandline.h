#pragma once

#include <QString>

// The command line: `quorlink SUBCOMMAND ...` on a QCoreApplication, no display needed.

// True when the arguments ask for the command line rather than the windows: a sub-command,
// --help, --version, or anything the windows do not take (which the command line then
// reports as wrong usage).
bool IsCommandLine(int argc, char** argv);

// Runs the command line and returns the exit code: 0 done, 1 the transfer failed or the
// files differ, 2 wrong usage, 3 a file refused, 130 interrupted.
int RunCommandLine(int argc, char** argv);

// Said on standard error when the program's own file is named by --config's old name,
// --settings.
QString OldConfigNameNote();
