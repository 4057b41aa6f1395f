#include "ui/fontface.h"

#include <QApplication>
#include <QFont>
#include <QWidget>

namespace {
QString g_systemFontName;
}

QString GetSystemFontName() {
    return QApplication::font("QMenu").family();
}

QString SystemFontName() {
    return g_systemFontName;
}

void ApplySystemFont(QWidget* window) {
    g_systemFontName = GetSystemFontName();
    if (g_systemFontName.isEmpty() || !window)
        return;
    const auto controls = window->findChildren<QWidget*>();
    for (QWidget* control : controls) {
        QFont f = control->font();
        f.setFamily(g_systemFontName);
        control->setFont(f);
    }
}
