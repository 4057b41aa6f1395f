#include "clone/memory_write.h"

void cmdWriteRig_Click(AppContext&) {}
