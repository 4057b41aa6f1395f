#include "clone/memory_read.h"

void cmdRead_Click(AppContext&) {}
