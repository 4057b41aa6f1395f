#pragma once

#include <QString>

#include "image/memorymap.h"

class Form1;
class AppContext;
class QtPortFactory;

// The demo radio for the windows, as a radio of `model`: started as startDemoRadio does,
// shown in the port menu, pressing [BAND] when the prompt window asks and switched on
// afresh when Read Radio or Write Radio is pressed. When it runs already it becomes that
// model and is the link again. Returns an error text, empty on success.
QString startWindowDemo(AppContext& ctx, Form1& window, QtPortFactory& ports,
                        MemoryMap::Model model);
