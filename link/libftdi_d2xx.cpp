#include "link/libftdi_d2xx.h"

// Placeholder; the libftdi1 back-end replaces it.
std::unique_ptr<D2xx> createLibFtdiD2xx() { return nullptr; }
