// Whether the code runs inside the Java host's library rather than in the program: one
// compilation serves both, and the few texts that differ ask this switch at run time.
#pragma once

inline bool vela_library_mode = false;
