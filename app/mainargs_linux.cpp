#include "mainargs.h"

CefMainArgs processMainArgs(int argc, char *argv[])
{
    return CefMainArgs(argc, argv);
}
