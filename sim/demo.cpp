#include "sim/demo.h"

QString startDemoRadio(AppContext&, QtPortFactory&) { return QStringLiteral("not yet built"); }
