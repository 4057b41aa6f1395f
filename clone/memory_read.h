#pragma once

class AppContext;

// Read Radio: copies the radio's whole clone memory into CloneImage.
void cmdRead_Click(AppContext& ctx);
