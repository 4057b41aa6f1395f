#pragma once

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QTableView;
class ChannelsModel;
class ChannelsFilter;

// The channels window: the memory channels of the current image in a sortable, read-only
// table, with a filter on name or frequency and empty channels hidden unless asked for.
// It is modeless, so that it never holds up a transfer's waits.
class FrmChannels : public QWidget {
    Q_OBJECT
public:
    // `image` gives the current image in file order, or nothing while there is none.
    explicit FrmChannels(std::function<QByteArray()> image, QWidget* parent = nullptr);
    ~FrmChannels() override;

    // Decodes the current image again; called when the image changes.
    void Reload();

    QLineEdit* txtFilter = nullptr;
    QCheckBox* chkShowEmpty = nullptr;
    QLabel* lblUsed = nullptr;
    QTableView* grdChannels = nullptr;

private:
    std::function<QByteArray()> image_;
    ChannelsModel* model_ = nullptr;
    ChannelsFilter* filter_ = nullptr;
};
