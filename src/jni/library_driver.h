// The scheduling program inside the Java library: a run from command-line arguments that
// returns its exit condition instead of ending the host. Not the program's main: these
// live in a namespace, so they can neither be called as ::main nor interpose on the host's.
#pragma once

namespace vela_java {

// main2 inside the tracker: a fresh table before the run; afterwards the parser's storage
// is released and, above the threshold, "flushing store..." and a flush.
int main(int argc, char** argv);
// The program's run without banner and echo, with only the people listing of the data
// files, statistics printed at once, and every file closed before returning.
int main2(int argc, char** argv);

// The parser's storage released and, above the library's threshold, everything the
// tracker still holds freed; says so first when `announce`. Call only once the run's
// objects are gone.
void release_after_run(bool announce);

}  // namespace vela_java
