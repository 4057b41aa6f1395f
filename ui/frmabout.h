#pragma once

#include <QDialog>
#include <QIcon>
#include <functional>

class QLabel;
class QPushButton;

// The About box: name, version, a one-line description and a link to the project's page.
class FrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit FrmAbout(QWidget* parent = nullptr);

    static QString webAddress();
    // The application's icon, the window icon and the picture here.
    static QIcon appIcon();

    QLabel* picIcon = nullptr;
    QLabel* lblTitle = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblLink = nullptr;
    QLabel* lblDisclaimer = nullptr;
    QPushButton* cmdOK = nullptr;
};

// Hands a text to the desktop to open with its default handler (a web address: the
// browser). The result is not reported. Tests replace the opener.
bool OpenWebLink(const QString& text);
void setWebLinkOpener(std::function<bool(const QString&)> opener);
