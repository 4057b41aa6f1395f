#pragma once

#include <QItemSelection>
#include <QStyledItemDelegate>
#include <QTableView>

class QLineEdit;
class ChannelsModel;

// A line editor for a name stops at 16 characters and at characters the radio lacks.
void LimitToName(QLineEdit* editor);

// The banks pane's names are edited under the same limits.
class BankNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
};

// Line editors for the name, the frequency and the offset (the model refuses what
// validation refuses); lists for every field that has one, taking effect when picked; for
// the banks a list of the 24 by name to tick, taking effect with Enter or a click elsewhere.
// In a selected row the current cell is framed, so that it shows where typing goes.
class ChannelDelegate : public QStyledItemDelegate {
public:
    ChannelDelegate(const ChannelsModel& model, QObject* parent)
        : QStyledItemDelegate(parent), model_(model) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // The banks' list drops down from its cell, as tall as the table allows.
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    const ChannelsModel& model_;
};

// A double-click on a row of a multi-row selection edits the cell for all of them, as F2
// does: the selection that the double-click's first press collapsed comes back.
class ChannelsView : public QTableView {
public:
    using QTableView::QTableView;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QItemSelection before_;
};
