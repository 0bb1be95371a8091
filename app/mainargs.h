#ifndef MAINARGS_H
#define MAINARGS_H

#include "include/internal/cef_types_wrappers.h"

// The engine's main arguments for this process. Windows builds them from the
// module handle; elsewhere they are the arguments main received.
CefMainArgs processMainArgs(int argc, char *argv[]);

#endif // MAINARGS_H
