#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "image/cloneimage.h"

class AppContext;
class RunError;

// What a read or a write did, for each front to tell in its own way: the window has shown
// its boxes already, the command line turns it into an exit code and one line.
struct TransferResult {
    enum class Outcome {
        Done,
        Cancelled,
        WrongIdentity,  // detail: the first five identity bytes received, in hexadecimal
        Stalled,        // block: the blocks received before the radio stopped
        BadChecksum,
        NoChecksum,
        NoAck,
        LinkLost,
        SendFailed,  // block: 0 the identity, 1 to 1019 a block, 1020 the checksum
        OpenFailed,  // detail: why, naming the device
        ShutDown,
        Error,  // detail: the "Error N (...) in line L ..." report
    };
    TransferResult() = default;
    TransferResult(Outcome what, int blocks = 0, const QString& why = QString())
        : outcome(what), block(blocks), detail(why) {}

    Outcome outcome = Outcome::Done;
    int block = 0;
    QString detail;
    CloneImage image;    // a good read: the image
    QString backupPath;  // a good read: where its automatic backup went
    QString warning;     // a good read: what went wrong beside it (the backup failed)
    bool done() const { return outcome == Outcome::Done; }
};

// What the read and the write share: the pause in which the cable settles after the open,
// the progress bar's length, the line breaks of the boxes, the box that says the link went
// away under them, and the report of an unexpected error.
constexpr qint32 kSettleMs = 500;
constexpr int kProgressMax = CloneLayout::kBlockCount + 1;
QString JoinLines(const QStringList& lines);

// The stop box that ends a transfer whose link went away.
void ShowConnectionLost(AppContext& ctx);

// "Error N (description) in line L of procedure P of Form Form1", OK and no icon; returns
// the text shown.
QString ShowErrorReport(AppContext& ctx, const RunError& error, int line, const QString& procedure);
