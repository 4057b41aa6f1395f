#pragma once

#include <QByteArray>
#include <QDialog>
#include <QList>
#include <optional>

#include "memory/channelcsv.h"
#include "sources/repeaterbook.h"

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QSpinBox;

// The preview of an import into the image held, before anything changes: the channels it
// will store (where, and how far away for a directory), those skipped with the reason, and
// the free slots left. The owner picks the first slot and a bank to join and, for a
// directory, the point and the distance (the radio's own position to begin with), for
// another image which of its channels (a list to tick). Rows go into the free slots from
// the first one; those that do not fit are skipped.
class ImportPreview : public QDialog {
    Q_OBJECT
public:
    // A repeater directory's entries, near `position` when the radio has one.
    ImportPreview(QWidget* parent, const QByteArray& image, QList<DirectoryEntry> entries,
                  std::optional<std::pair<double, double>> position);
    // Another image's channels in use.
    ImportPreview(QWidget* parent, const QByteArray& image, const QByteArray& other);

    // What the owner asked for, placed: the channels to store with their slots.
    const CsvImport& plan() const { return plan_; }
    // The bank the channels join, 0 for none.
    int bank() const;

    QLineEdit* txtNear = nullptr;
    QLineEdit* txtWithin = nullptr;
    QListWidget* lstChannels = nullptr;
    QSpinBox* spnFirst = nullptr;
    QComboBox* cboBank = nullptr;
    QPlainTextEdit* txtPreview = nullptr;
    QLabel* lblFree = nullptr;
    QDialogButtonBox* buttons = nullptr;

private:
    void build(QWidget* choices);
    void refresh();

    QByteArray image_;
    QList<DirectoryEntry> entries_;
    QByteArray other_;
    CsvImport plan_;
};
