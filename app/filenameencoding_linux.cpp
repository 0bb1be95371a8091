#include "filenameencoding.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

void useUtf8FileNamesInPlainLocale()
{
    if (!std::setlocale(LC_CTYPE, "")) {
        // The named locale is missing. Qt's own setlocale(LC_ALL, "") fails
        // the same way and changes nothing, so this choice stays, and the
        // other categories keep naming the user's language for Qt.
        std::setlocale(LC_CTYPE, "C.UTF-8");
        return;
    }
    // Only the plain locale is changed: a system that names a character set,
    // even one other than UTF-8, means it.
    if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") != 0)
        return;
    // Qt sets the locale again from the environment when it starts, so the
    // choice is made there. LC_ALL, when set, outranks LC_CTYPE.
    const char *all = std::getenv("LC_ALL");
    setenv(all && *all ? "LC_ALL" : "LC_CTYPE", "C.UTF-8", 1);
    std::setlocale(LC_CTYPE, "");
}
