#pragma once

#include <QString>

class AppContext;
class RunError;

// What the read and the write share: noticing that the link went away under them, the
// box that says so, and the report of an unexpected error.

// "The connection to the radio was lost." and what to do about it.
QString ConnectionLostText();

// True once the link has gone: the link routines flagged it (cable pulled, device gone),
// or the COM port was closed under the transfer. Sets LinkLost when it finds out itself.
bool LinkGone(AppContext& ctx);

// The stop box that ends a transfer whose link went away.
void ShowConnectionLost(AppContext& ctx);

// "Error N (description) in line L of procedure P of Form Form1", OK and no icon.
void ShowErrorReport(AppContext& ctx, const RunError& error, int line, const QString& procedure);
