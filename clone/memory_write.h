#pragma once

class AppContext;

// Write Radio: sends CloneImage back to a radio.
void cmdWriteRig_Click(AppContext& ctx);
