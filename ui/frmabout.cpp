#include "ui/frmabout.h"

#include <QDesktopServices>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QUrl>

#include "transfer/appcontext.h"
#include "ui/fontface.h"
#include "ui/frmmessages.h"

namespace {
std::function<bool(const QString&)>& webLinkOpener() {
    static std::function<bool(const QString&)> opener = [](const QString& text) {
        return QDesktopServices::openUrl(QUrl::fromUserInput(text));
    };
    return opener;
}
}  // namespace

bool OpenWebLink(const QString& text) {
    return webLinkOpener()(text);
}

void setWebLinkOpener(std::function<bool(const QString&)> opener) {
    webLinkOpener() = std::move(opener);
}

// The resources live in a static library: nothing would pull them into a program unless
// something asks for them by name.
static void initResources() {
    Q_INIT_RESOURCE(quorlink);
}

QIcon FrmAbout::appIcon() {
    initResources();
    // A bitmap: it shows on a machine without the SVG image plugin.
    return QIcon(QStringLiteral(":/quorlink.png"));
}

QString FrmAbout::webAddress() {
    return QStringLiteral("https://quorlink.org/");
}

FrmAbout::FrmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setFixedSize(400, 230);

    picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    picIcon->setGeometry(16, 16, 48, 48);
    picIcon->setPixmap(appIcon().pixmap(48, 48));

    auto label = [this](const char* name, QRect geometry) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    lblTitle = label("lblTitle", {80, 12, 300, 34});
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPointSize(18);
    lblTitle->setFont(titleFont);
    lblVersion = label("lblVersion", {80, 50, 300, 18});
    lblDescription = label("lblDescription", {80, 74, 300, 18});
    lblDescription->setText(QStringLiteral("Cable tester for the VX-8R/E and VX-8DR/DE"));
    lblLink = new ClickableLabel(this);
    lblLink->setObjectName(QStringLiteral("lblLink"));
    lblLink->setGeometry(80, 100, 300, 18);

    auto separator = [this](int y) {
        auto* line = new QFrame(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        line->setGeometry(12, y, 376, 4);
    };
    separator(130);
    lblDisclaimer = label("lblDisclaimer", {16, 140, 368, 36});
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setText(
        QStringLiteral("Use at your own risk: keep a read of your radio before you write to it."));
    separator(182);
    cmdOK = new QPushButton(QStringLiteral("OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setGeometry(300, 192, 84, 26);
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    // Load step.
    ApplySystemFont(this);
    setWindowTitle(QStringLiteral("About ") + AppContext::AppName());
    lblVersion->setText(QStringLiteral("Version ") + AppContext::VersionText().mid(1));
    lblTitle->setText(AppContext::AppName());
    lblLink->setText(webAddress());
    QFont linkFont = lblLink->font();
    linkFont.setUnderline(true);
    lblLink->setFont(linkFont);
    QPalette linkPalette = lblLink->palette();
    linkPalette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    lblLink->setPalette(linkPalette);
    lblLink->setCursor(Qt::PointingHandCursor);
    connect(static_cast<ClickableLabel*>(lblLink), &ClickableLabel::clicked, this,
            [this] { OpenWebLink(lblLink->text()); });
}
