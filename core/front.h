#pragma once

#include <QString>
#include <initializer_list>

// The parts of the transfer prompt: what the radio should be doing, and the progress.
enum class PromptPart {
    LookingForRadio,  // "Press the [BAND] key on the radio." (the read waits for the identity)
    RadioSending,     // the radio shows TX: the read is receiving
    RadioReceiving,   // the radio shows RX: the write is sending
    Progress,         // the block progress
};

// What a transfer shows and hears while it runs: its front. The windows, the terminal and
// the tests each implement it; the transfers and the link know nothing else of them.
// Message boxes go through the MessageBoxes seam, which every front also supplies.
//
// Cancel requests come back through the context's CancelRequests: the front makes them,
// the transfers poll them at every wait.
class TransferFront {
public:
    virtual ~TransferFront() = default;

    // The prompt as a whole, and each of its parts.
    virtual void setPromptVisible(bool visible) = 0;
    virtual void setPromptPart(PromptPart part, bool visible) = 0;
    void hidePromptParts(std::initializer_list<PromptPart> parts) {
        for (const PromptPart part : parts)
            setPromptPart(part, false);
    }
    // A line under the looking-for-radio message when the radio stays silent (empty: none).
    virtual void setNoAnswerHint(const QString& text) { Q_UNUSED(text); }
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgress(int value) = 0;
    // The block counter's caption (" 12" while a block is awaited, "12" once stored).
    virtual void setBlockCount(const QString& caption) = 0;
    // The time-out counter's caption ("0 timeouts", " 3 timeouts").
    // Told each time the time-out count changes.
    virtual void setTimeoutCaption(const QString& caption) = 0;
    // Busy: Read and Write unavailable, Cancel available; free: the other way round (Write
    // only when the image is valid).
    virtual void setBusy(bool busy) = 0;
    // The trace: one line appended, or all lines cleared at the start of a transfer.
    virtual void traceLine(const QString& text) = 0;
    virtual void clearTrace() = 0;
};
