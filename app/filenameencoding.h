#ifndef FILENAMEENCODING_H
#define FILENAMEENCODING_H

// Makes file names travel as UTF-8 when the system names no character set
// of its own (the C or POSIX locale, as under a bare service or display
// manager). Qt 5 would otherwise encode them as ASCII, and a download, an
// upload or a working directory named in Chinese would lose its name.
// Called first in main(), before Qt reads the locale.
void useUtf8FileNamesInPlainLocale();

#endif // FILENAMEENCODING_H
