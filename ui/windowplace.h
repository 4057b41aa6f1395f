#pragma once

#include <QMargins>
#include <QRect>
#include <QString>

class QObject;
class QWidget;
class ConfigStore;

// Every window wholly on the screen: its frame (title bar and borders included) inside the
// area the desktop leaves to windows (the screen less its panels), so that no status line
// or button row ends up below the screen's edge.

// The area windows may take on the screen `window` is on (the primary one before it has one).
QRect AvailableArea(const QWidget& window);
// The frame the window manager puts around `window`: the one it has once shown; before that
// the one another window shown has, or room for a title bar.
QMargins FrameMargins(const QWidget& window);
// True when `window`'s frame, its top-left corner at pos(), lies wholly inside the area.
bool FitsOnScreen(const QWidget& window);
// Shrinks `window` where its frame is larger than the area, then, when the program placed it
// (a kept place, beside another window, a dialog over its parent), moves it so that its
// frame lies wholly inside; where to put a window placed by the window manager is its own.
void FitOnScreen(QWidget& window);

// A window's last size and place, kept in section "Windows" under `key` as "x,y,width,height"
// of its client area in pixels. Restore puts it back only where the frame still fits wholly
// in the area (another screen, a panel, a lower resolution refuse it) and says whether it did.
bool RestorePlacement(QWidget& window, const ConfigStore& store, const QString& key);
void SavePlacement(const QWidget& window, ConfigStore& store, const QString& key);
// Restores now, and keeps the size and place each time the window is hidden or closed.
bool KeepPlacement(QWidget& window, ConfigStore& store, const QString& key);

// Fits every window and dialog of the application on its screen as it is shown; the watch
// ends with `owner`.
void KeepWindowsOnScreen(QObject& owner);
