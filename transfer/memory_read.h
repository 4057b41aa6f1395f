#pragma once

#include "transfer/transfer.h"

class AppContext;

// Read Radio: copies the radio's whole clone memory into CloneImage.
TransferResult cmdRead_Click(AppContext& ctx);
