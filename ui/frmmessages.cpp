#include "ui/frmmessages.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>

#include "core/context.h"

void ClickableLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
    QLabel::mouseReleaseEvent(event);
}

FrmMessages::FrmMessages(CancelRequests& requests, QWidget* parent)
    : QWidget(parent, Qt::Tool), requests_(requests) {
    setObjectName(QStringLiteral("frmMessages"));
    setWindowTitle(QStringLiteral("Read/write instructions"));
    setFixedSize(320, 230);

    QFont labelFont(QStringLiteral("MS Sans Serif"));
    labelFont.setPointSizeF(9.75);
    labelFont.setBold(true);

    auto message = [&](const char* name, const QStringList& lines) {
        auto* l = new ClickableLabel(lines.join(QStringLiteral("\r\n")), this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(10, 8, 300, 120);  // all three share one rectangle
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setFont(labelFont);
        l->setVisible(false);
        return l;
    };
    lblLookingForRig = message("lblLookingForRig",
                               {QString(), QStringLiteral("Press the [BAND] key on the radio."),
                                QStringLiteral("The radio will start to send."), QString(),
                                QStringLiteral("Click this message to cancel")});
    lblWaitForWrite = message(
        "lblWaitForWrite",
        {QString(), QStringLiteral("The radio should now show"), QStringLiteral("-- -- RX -- --"),
         QStringLiteral("WAIT FOR THE PROCESS"), QStringLiteral("TO COMPLETE")});
    lblWaiting = message("lblWaiting", {QString(), QStringLiteral("The radio should now show"),
                                        QStringLiteral("-- -- TX -- --"),
                                        QStringLiteral("Wait for the process to complete"),
                                        QStringLiteral("or click this message to cancel.")});
    lblLookingForRig->setCursor(Qt::PointingHandCursor);
    lblWaiting->setCursor(Qt::PointingHandCursor);

    lblNoAnswer = new QLabel(this);
    lblNoAnswer->setObjectName(QStringLiteral("lblNoAnswer"));
    lblNoAnswer->setGeometry(10, 140, 300, 70);  // where the progress shows once blocks come
    lblNoAnswer->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lblNoAnswer->setWordWrap(true);
    lblNoAnswer->setVisible(false);

    frmClone = new QGroupBox(this);
    frmClone->setObjectName(QStringLiteral("frmClone"));
    frmClone->setGeometry(10, 140, 300, 70);
    frmClone->setVisible(false);
    pbarClone = new QProgressBar(frmClone);
    pbarClone->setObjectName(QStringLiteral("pbarClone"));
    pbarClone->setGeometry(12, 24, 276, 24);
    pbarClone->setRange(0, 100);
    pbarClone->setValue(0);

    connect(lblLookingForRig, &ClickableLabel::clicked, this, &FrmMessages::cancelIdentityWait);
    connect(lblWaiting, &ClickableLabel::clicked, this, &FrmMessages::cancelRead);
    lblLookingForRig->installEventFilter(this);
}

bool FrmMessages::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblLookingForRig && event->type() == QEvent::ShowToParent)
        emit lookingForRigShown();
    return QWidget::eventFilter(watched, event);
}

void FrmMessages::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (lblLookingForRig->isVisible())
        cancelIdentityWait();
    else if (lblWaiting->isVisible())
        cancelRead();
}

void FrmMessages::cancelIdentityWait() {
    requests_.request(CancelKind::Identity);
}

void FrmMessages::cancelRead() {
    requests_.request(CancelKind::Read);
}
