#ifndef INITCEF_H
#define INITCEF_H

// The name of the browser cache directory, under the working directory.
extern const char cacheDirName[];

// Starts the engine. In an engine sub-process it runs that process to its end
// and returns its exit code (0 or more). In the browser process it starts the
// engine runtime with the application handler and returns -1, whether or not
// the start succeeded. Called on the GUI thread after the QApplication exists.
int initCef(int &argc, char *argv[]);

#endif // INITCEF_H
