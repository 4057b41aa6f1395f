#pragma once

#include <QString>

class AppContext;
class QtPortFactory;

// The demo radio: a simulated VX-8 on a pseudo-terminal, mapped to a COM number and
// selected for this run only. Returns an error text, empty on success.
QString startDemoRadio(AppContext& ctx, QtPortFactory& ports);
