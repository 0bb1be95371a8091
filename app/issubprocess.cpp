#include "issubprocess.h"

#include <cstring>

bool isSubProcess(int argc, char *argv[])
{
    for (int i = 0; i < argc; ++i) {
        if (argv[i] && std::strstr(argv[i], "--type"))
            return true;
    }
    return false;
}
