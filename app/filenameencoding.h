#ifndef FILENAMEENCODING_H
#define FILENAMEENCODING_H

// Makes the C library's character type UTF-8 when the locale the system
// names gives none of its own: the C or POSIX locale (a bare service or
// display manager), or a locale that is not installed (LANG=zh_CN.UTF-8 on a
// machine with only C and C.UTF-8, where the C library stays in "C"). Qt 5
// itself encodes file names as UTF-8 in every locale, but the engine
// converts them through the C library, which in "C" knows only ASCII: a
// download, an upload or a working directory named in Chinese would lose its
// name. Called first in main(), in every process, before Qt reads the locale.
void useUtf8FileNamesInPlainLocale();

#endif // FILENAMEENCODING_H
