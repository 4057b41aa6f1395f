#pragma once

#include <QString>
#include <memory>

#include "core/d2xx.h"

// D2XX over libftdi1, loaded at run time so that a machine without it still runs the
// COM-port path. Without the library every call raises RunError 53.
//
// The library is libftdi1.so.2, or the file named by the environment variable
// QUORLINK_LIBFTDI. It is loaded at the first call, and again at a later call if that
// failed (the user may install it while the program runs).
std::unique_ptr<D2xx> createLibFtdiD2xx();

// The file the adapter loads.
QString libFtdiFileName();
