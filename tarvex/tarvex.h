// The polygon preparer's entry: polygon text or an editor's map in, a collision file out.
#pragma once

#include <cstdio>

// The whole tool: the log goes to `log`, warnings and reasons for people to `errors`. Returns the
// exit status.
int run_tarvex(int argc, char** argv, std::FILE* log, std::FILE* errors);
