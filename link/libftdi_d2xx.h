#pragma once

#include <memory>

#include "link/d2xx.h"

// D2XX over libftdi1, loaded at run time so that a machine without it still runs the
// COM-port path. Without the library every call raises RunError 53.
std::unique_ptr<D2xx> createLibFtdiD2xx();
