#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>

#include "clone/channels.h"

struct CloneState;
struct CsvImport;
class QUndoStack;

// The changes made to the channels of the image held. Every change (a cell, a paste, a
// clear, an import) is one step on an undo stack that keeps the 33 bytes of each channel it
// changed before and after; the stack's clean state says whether the image held still
// agrees with its file. The image bytes stay the one source of truth: the windows decode
// them again when told which channels changed.
class ChannelEdits : public QObject {
    Q_OBJECT
public:
    explicit ChannelEdits(CloneState& clone, QObject* parent = nullptr);
    ~ChannelEdits() override;

    QUndoStack& stack() const { return *stack_; }

    // The image held in file order (identity first, checksum last); empty while there is none.
    QByteArray image() const;
    bool hasImage() const;
    // Channel `number` (1-900) as the image holds it now.
    Channel channel(int number) const;

    // While a transfer runs nothing may change the image: every change is refused.
    bool editable() const { return editable_; }
    void setEditable(bool editable);

    // Sets one field of one channel from the text a cell editor gives; the refusal, or an
    // empty text when stored (or when nothing changed).
    QString setField(int number, ChannelField field, const QString& text);
    // Stores the channels (an empty one clears its number) as one step called `caption`. A
    // channel that cannot be stored refuses the whole step, with its reason; nothing changes.
    QString store(const QString& caption, const QList<Channel>& channels);
    // Takes an import into the image held as one step; the caller has checked that it
    // refuses no row. Returns how many channels in use it cleared.
    int importCsv(const QString& caption, const CsvImport& import);

    // What the windows call the image held: its file's name, "read from radio 14:02", or an
    // empty text while there is no image.
    QString imageName() const;

    // True when the image held has changes that no file holds.
    bool unsaved() const;
    // The image held has just been saved: the current step is the saved one.
    void markSaved();

    // Puts bytes back into the image held: what a step does and undoes.
    void put(const QList<int>& numbers, const QList<QByteArray>& bytes);

    // Called after every new image (a read, an opened file): steps made on another image
    // are dropped. The same image held as before (a read that failed) keeps them.
    void imageReplaced();

signals:
    // Channels changed by a step done, undone or redone.
    void channelsChanged(const QList<int>& numbers);
    void editableChanged(bool editable);
    void unsavedChanged(bool unsaved);

private:
    QString refusedNow() const;
    // One step from the image held to `after` (same layout), if any of the channels
    // `numbers` (all 900 when empty) differs.
    void pushChanges(const QString& caption, const QByteArray& before, const QByteArray& after,
                     const QList<int>& numbers = {});
    void remember();

    CloneState& clone_;
    QUndoStack* stack_ = nullptr;
    bool editable_ = true;
    // The image held as this object last left it; a different one is a new image.
    QByteArray known_;
    bool knownValid_ = false;
    QString knownPath_;
    QDateTime knownReadAt_;
};
