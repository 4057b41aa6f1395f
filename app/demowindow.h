#pragma once

#include <QString>

class Form1;
class AppContext;
class QtPortFactory;

// The demo radio for the windows: started as startDemoRadio does, shown in the port menu,
// pressing [BAND] when the prompt window asks and switched on afresh when Read Radio or
// Write Radio is pressed. Returns an error text, empty on success.
QString startWindowDemo(AppContext& ctx, Form1& window, QtPortFactory& ports);
