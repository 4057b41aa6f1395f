#include "ui/windowplace.h"

#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <utility>

#include "core/config.h"

namespace {

const QString kSection = QStringLiteral("Windows");
// Where no window shows its frame yet: room for a common title bar.
constexpr QMargins kTitleBarAllowance(0, 32, 0, 0);

// The frame around a window shown; none before the window manager has given it one.
QMargins ShownFrame(const QWidget& w) {
    if (!w.isVisible())
        return {};
    const QRect frame = w.frameGeometry();
    const QRect client = w.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

bool IsPlainWindow(const QWidget& w) {
    return w.isWindow() && (w.windowType() == Qt::Window || w.windowType() == Qt::Dialog);
}

// Fits each window as it is shown, before the user sees it.
class ScreenWatch : public QObject {
public:
    explicit ScreenWatch(QObject& owner) : QObject(&owner) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (IsPlainWindow(*w)) {
                FitOnScreen(*w);
                // Again once the window has laid itself out for showing (a message box
                // sizes itself to its text then).
                QMetaObject::invokeMethod(
                    w, [w] { FitOnScreen(*w); }, Qt::QueuedConnection);
            }
        }
        return false;
    }
};

// Keeps a window's size and place whenever it is hidden (closed included).
class PlacementKeeper : public QObject {
public:
    PlacementKeeper(QWidget& window, ConfigStore& store, QString key)
        : QObject(&window), window_(window), store_(store), key_(std::move(key)) {
        window.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Hide)
            SavePlacement(window_, store_, key_);
        return false;
    }

private:
    QWidget& window_;
    ConfigStore& store_;
    QString key_;
};

}  // namespace

QRect AvailableArea(const QWidget& window) {
    const QScreen* screen = window.screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QMargins FrameMargins(const QWidget& window) {
    if (const QMargins own = ShownFrame(window); !own.isNull())
        return own;
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget* other : windows)
        if (IsPlainWindow(*other))
            if (const QMargins frame = ShownFrame(*other); !frame.isNull())
                return frame;
    return kTitleBarAllowance;
}

bool FitsOnScreen(const QWidget& window) {
    return AvailableArea(window).contains(
        QRect(window.pos(), window.size().grownBy(FrameMargins(window))));
}

void FitOnScreen(QWidget& window) {
    if (window.isMaximized() || window.isFullScreen() || window.isMinimized())
        return;
    const QRect area = AvailableArea(window);
    const QMargins m = FrameMargins(window);
    const QSize room = area.size().shrunkBy(m);
    if (window.width() > room.width() || window.height() > room.height())
        window.resize(window.size().boundedTo(room));
    // A window the window manager places (none stored, none beside another) stays its to place.
    if (!window.testAttribute(Qt::WA_Moved))
        return;
    // pos() is where the frame's top-left corner goes.
    const QSize frame = window.size().grownBy(m);
    const QPoint at(std::clamp(window.x(), area.left(),
                               std::max(area.left(), area.right() + 1 - frame.width())),
                    std::clamp(window.y(), area.top(),
                               std::max(area.top(), area.bottom() + 1 - frame.height())));
    if (at != window.pos())
        window.move(at);
}

bool RestorePlacement(QWidget& window, const ConfigStore& store, const QString& key) {
    const QStringList parts = store.get(kSection, key, QString()).split(QLatin1Char(','));
    int v[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = parts.size() == 4;
        v[i] = ok ? parts[i].trimmed().toInt(&ok) : 0;
        if (!ok)
            return false;
    }
    const QSize size(v[2], v[3]);
    const QSize least = window.minimumSize().expandedTo(window.minimumSizeHint());
    const QRect frame(QPoint(v[0], v[1]), size.grownBy(FrameMargins(window)));
    if (size.width() < least.width() || size.height() < least.height() ||
        !AvailableArea(window).contains(frame))
        return false;
    window.resize(size);
    window.move(v[0], v[1]);
    return true;
}

void SavePlacement(const QWidget& window, ConfigStore& store, const QString& key) {
    if (window.windowState() != Qt::WindowNoState)
        return;
    // The place is a convenience: a store that cannot be written says so elsewhere, not here.
    auto failed = std::exchange(store.onWriteFailed, nullptr);
    store.set(kSection, key,
              QStringLiteral("%1,%2,%3,%4")
                  .arg(window.x())
                  .arg(window.y())
                  .arg(window.width())
                  .arg(window.height()));
    store.onWriteFailed = std::move(failed);
}

bool KeepPlacement(QWidget& window, ConfigStore& store, const QString& key) {
    new PlacementKeeper(window, store, key);
    return RestorePlacement(window, store, key);
}

void KeepWindowsOnScreen(QObject& owner) {
    new ScreenWatch(owner);
}
