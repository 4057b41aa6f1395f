#pragma once

#include <QLabel>
#include <QWidget>

class QGroupBox;
class QProgressBar;
class CancelRequests;

// A label that reports a click with the left mouse button.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

// The transfer prompt window: tells the user what the radio should be doing and shows the
// block progress. Two of its messages double as cancel buttons for the read. A tool window
// of the main window: it stays in front of it and has no task-bar entry of its own.
class FrmMessages : public QWidget {
    Q_OBJECT
public:
    explicit FrmMessages(CancelRequests& requests, QWidget* parent = nullptr);

    ClickableLabel* lblLookingForRig = nullptr;
    ClickableLabel* lblWaiting = nullptr;
    ClickableLabel* lblWaitForWrite = nullptr;
    // Under the looking-for-radio message when the radio stays silent; hidden otherwise.
    QLabel* lblNoAnswer = nullptr;
    QGroupBox* frmClone = nullptr;
    QProgressBar* pbarClone = nullptr;

signals:
    // Emitted when the looking-for-radio message becomes visible; the demo radio uses it
    // to "press [BAND]" as a person would.
    void lookingForRigShown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Escape does what a click on the message shown does: it cancels the read.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void cancelIdentityWait();
    void cancelRead();

    CancelRequests& requests_;
};
