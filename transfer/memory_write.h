#pragma once

#include "transfer/transfer.h"

class AppContext;

// Write Radio: sends CloneImage back to a radio.
TransferResult cmdWriteRig_Click(AppContext& ctx);
