#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "edit/imagechange.h"
#include "image/cloneimage.h"
#include "memory/channelorder.h"
#include "memory/channels.h"

struct CsvImport;
class QUndoStack;

// What one step done, undone or redone changed.
struct EditNotice {
    QList<int> channels;    // the channels whose rows show a change, ascending
    QList<int> banks;       // the banks whose name, in-use word or members changed
    bool settings = false;  // bytes outside the channels and banks (and their sums) changed
    bool operator==(const EditNotice&) const = default;
};
Q_DECLARE_METATYPE(EditNotice)

// The changes made to the image held: the one path every change takes. Every change (a
// cell, a paste, a clear, an import, a move, a bank's members or name, a setting) runs on a
// copy of the image; the sums it touched are brought up to date (MemoryMap::RefreshSumsFor)
// and every byte range it altered, sums included, is kept before and after as one step on
// an undo stack, so that undo and redo put back the bytes exactly. The stack's clean state
// says whether the image held still agrees with its file. The image bytes stay the one
// source of truth: one notice, `changed`, tells the windows what to decode again.
class ImageEdits : public QObject {
    Q_OBJECT
public:
    explicit ImageEdits(CloneState& clone, QObject* parent = nullptr);
    ~ImageEdits() override;

    QUndoStack& stack() const { return *stack_; }

    // The image held in file order (identity first, checksum last); empty while there is none.
    QByteArray image() const;
    bool hasImage() const;
    // Slot `number` (1-1100: a channel, a skip-search or a PMS memory) as the image holds it.
    Channel channel(int number) const;

    // While a transfer runs nothing may change the image: every change is refused.
    bool editable() const { return editable_; }
    void setEditable(bool editable);

    // Sets one field of one channel from the text a cell editor gives; the refusal, or an
    // empty text when stored (or when nothing changed).
    QString setField(int number, ChannelField field, const QString& text);
    // Sets one field on every channel of `numbers` as one step, each validated; refused whole,
    // naming the channel, when one is refused. One channel goes through setField.
    QString setFieldOn(const QList<int>& numbers, ChannelField field, const QString& text);
    // Puts the channels `numbers` in exactly the banks `banks` (1-24) as one step; among
    // several channels the empty ones are passed over. A full bank refuses the whole step.
    QString setBanks(const QList<int>& numbers, const QList<int>& banks);
    // Puts the channels `numbers` into the banks `join` and out of the banks `leave` as one
    // step; their other memberships stay. Empty channels are passed over. A full bank
    // refuses the whole step.
    QString changeBanks(const QList<int>& numbers, const QList<int>& join, const QList<int>& leave);
    // Stores the channels (an empty one clears its number) as one step called `caption`. A
    // channel that cannot be stored refuses the whole step, with its reason; nothing changes.
    // With `banks` (one list per channel), each channel in use is put in exactly those banks.
    QString store(const QString& caption, const QList<Channel>& channels,
                  const QList<QList<int>>& banks = {});
    // Takes an import into the list shown as one step; the caller has checked that it
    // refuses no row. Returns how many channels in use it cleared, -1 when the owner kept
    // the masked entries it would store over. Each channel joins `bank` (1-24) besides.
    int importCsv(const QString& caption, const CsvImport& import, int bank = 0);
    // Makes the masked entries among `numbers` used again with their data, as one step;
    // says so when none is masked.
    QString unmask(const QList<int>& numbers);
    // Asked, with the masked slots a change would store over, before it does; false keeps
    // them and refuses the change. Without it the change goes ahead.
    void setMaskedQuestion(std::function<bool(const QList<int>&)> ask) {
        askMasked_ = std::move(ask);
    }
    // The list the editor shows, which the window's import and export take.
    ChannelList shownList() const { return shownList_; }
    void setShownList(ChannelList list) { shownList_ = list; }
    // Runs `change` on a copy of the image held (file order) and keeps what it altered as
    // one step called `caption`. A change that returns a refusal changes nothing; the
    // refusal is returned as it is.
    QString apply(const QString& caption, const std::function<QString(QByteArray&)>& change);

    // What the windows call the image held: its file's name, "read from radio 14:02", or an
    // empty text while there is no image.
    QString imageName() const;

    // True when the image held has changes that no file holds.
    bool unsaved() const;
    // The image held has just been saved: the current step is the saved one.
    void markSaved();
    // The image held differs from its file by what no step holds (sums corrected on
    // opening): unsaved until it is saved.
    void markDiffersFromFile();

    // Redoes (`forward`) or undoes a step's change on the image held, then sends its notice.
    void put(const ImageChange& change, bool forward, const EditNotice& notice);

    // A number that changes with every new image (not with its edits): what was copied from
    // one image is known for that image only.
    int generation() const { return generation_; }

    // Called after every new image (a read, an opened file): steps made on another image
    // are dropped. The same image held as before (a read that failed) keeps them.
    void imageReplaced();

signals:
    // A step was done, undone or redone.
    void changed(const EditNotice& notice);
    void editableChanged(bool editable);
    void unsavedChanged(bool unsaved);

private:
    QString refusedNow() const;
    // The refusal when `numbers` holds masked slots and the owner keeps them.
    QString maskedRefusal(const QList<int>& numbers) const;
    void remember();

    CloneState& clone_;
    QUndoStack* stack_ = nullptr;
    bool editable_ = true;
    // The image held as this object last left it; a different one is a new image.
    CloneImage known_;
    QString knownPath_;
    QDateTime knownReadAt_;
    int generation_ = 0;
    std::function<bool(const QList<int>&)> askMasked_;
    ChannelList shownList_ = ChannelList::Channels;
};
