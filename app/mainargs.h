#ifndef MAINARGS_H
#define MAINARGS_H

#include "include/internal/cef_types_wrappers.h"

// The engine's main arguments for this process. Each platform has a file of
// its own: on Linux (mainargs_linux.cpp) they are the arguments main
// received; a Windows port builds them from the module handle of the process.
CefMainArgs processMainArgs(int argc, char *argv[]);

#endif // MAINARGS_H
