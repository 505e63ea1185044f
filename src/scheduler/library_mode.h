// Whether the code runs inside the Java host's library rather than in the program: one
// compilation serves both, and the few things that differ ask this switch at run time
// (the readable listing's variant, the form of the schedule file). The library's entry
// points set it for the length of their run.
#pragma once

inline bool vela_library_mode = false;
