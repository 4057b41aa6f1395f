#pragma once

#include <QString>

class QWidget;

// The face name of the desktop's menu font; empty when the desktop does not say.
QString GetSystemFontName();
// Gives every control of the window the menu font's face, keeping sizes and weights.
// An empty face changes nothing.
void ApplySystemFont(QWidget* window);
// The face that ApplySystemFont fetched last.
QString SystemFontName();
