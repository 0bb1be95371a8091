#include "mainargs.h"

#include <windows.h>

CefMainArgs processMainArgs(int, char *[])
{
    return CefMainArgs(GetModuleHandleW(nullptr));
}
