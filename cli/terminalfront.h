#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>

#include "core/front.h"
#include "core/messagebox.h"

class CoreContext;
struct TransferResult;

// What the command line says about a transfer: its exit code (0 done, 1 failed, 130
// interrupted) and, unless it is done, one line naming what went wrong.
struct TransferVerdict {
    int exit = 0;
    QString line;
};
TransferVerdict VerdictOf(const TransferResult& result);

// The terminal as the transfers' front: instructions and boxes become lines on standard
// error, progress one updating line on a terminal (a plain line every 10 % otherwise), and
// the instruction boxes are answered for the user.
class TerminalFront : public TransferFront, public MessageBoxes {
public:
    enum class Verbosity { Quiet, Normal, Verbose };
    enum class Transfer { Read, Write };

    TerminalFront(Transfer transfer, Verbosity verbosity, bool assumeYes);
    // The context whose waits keep the events running while the front waits for Enter.
    void attach(CoreContext& ctx) { ctx_ = &ctx; }

    // Set by Ctrl-C: the next question is answered Cancel.
    bool interrupted = false;
    // A COM number borrowed for this run for a device path: the terminal names the path.
    void borrowPort(int com, const QString& path) {
        borrowedCom_ = com;
        borrowedPath_ = path;
    }
    // Called each time the prompt starts looking for the radio (the demo presses [BAND]).
    std::function<void()> onLookingForRadio;

    // MessageBoxes
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override;
    // The part for the windows is left out.
    MsgAnswer showWithWindowPart(const QString& text, const QString&, MsgButtons buttons,
                                 MsgIcon icon) override {
        return show(text, buttons, icon);
    }

    // TransferFront
    void setPromptVisible(bool) override {}
    void setPromptPart(PromptPart part, bool visible) override;
    void setNoAnswerHint(const QString& text) override;
    void setProgressMaximum(int) override {}
    void setProgress(int value) override;
    void setBlockCount(const QString&) override {}
    void setTimeoutCaption(const QString&) override {}
    void setBusy(bool) override {}
    void traceLine(const QString& text) override;
    void clearTrace() override {}

    // One line for the user, unless quiet.
    void say(const QString& text);

    // "block 512/1019  50 %  0:09 elapsed  0:09 left"
    static QString progressText(int block, qint64 elapsedMs);

private:
    bool waitForEnter();
    // A box or trace line as the terminal shows it: no window wording, no borrowed number.
    QString plain(const QString& text) const;
    void endProgressLine();

    CoreContext* ctx_ = nullptr;
    Transfer transfer_;
    Verbosity verbosity_;
    bool assumeYes_;
    bool tty_;
    int questions_ = 0;
    int borrowedCom_ = 0;
    QString borrowedPath_;
    bool lookingVisible_ = false;
    bool lookingAnnounced_ = false;
    QElapsedTimer started_;
    qint64 lastDrawMs_ = -1;
    int lastTenth_ = 0;
    bool lineOpen_ = false;
};
