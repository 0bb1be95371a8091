#ifndef INITCEF_H
#define INITCEF_H

#include <QString>

// The name of the browser cache directory, under the working directory.
extern const char cacheDirName[];

// Starts the engine. In an engine sub-process it runs that process to its end
// and returns its exit code (0 or more). In the browser process it starts the
// engine runtime with the application handler and returns -1, whether or not
// the start succeeded. Browser data goes to |cacheDir|, or stays in memory
// when it is empty. Called on the GUI thread after the QApplication exists.
int initCef(int &argc, char *argv[], const QString &cacheDir = QString::fromUtf8(cacheDirName));

#endif // INITCEF_H
