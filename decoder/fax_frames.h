// Names of T.30 frames by their facsimile control field (FCF, X bit clear;
// DTC with its fixed leading one), as the fax reports print them. Shared
// with code that follows a fax session's frames, so the names stay one table.
#pragma once

#include <cstdint>

// The frame's name ("DIS", "MCF", "PRI_EOM"), or nullptr when the code has none.
const char *t30_frame_name(uint32_t fcf);
