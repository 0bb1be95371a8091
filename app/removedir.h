#ifndef REMOVEDIR_H
#define REMOVEDIR_H

#include <QString>

// The name of the file that marks a directory as created by this program.
// It does not start with a dot, so that directory listings see it.
extern const char cacheOwnerMarker[];

// Removes the directory at |path| with everything in it, when this program
// created it (it holds the marker file). Links are removed, never followed,
// and nothing outside |path| is touched; hidden and system entries stay, and
// so do the directories that hold them. Returns false for an empty path or a
// directory that is not ours or not fully removed, true when it is gone or
// never existed.
bool removeDir(const QString &path);

// True when |path| is a real directory that carries the marker file.
bool isMarkedDir(const QString &path);

// Creates the directory at |path| with the marker file in it, unless it
// exists already. Returns true when the directory is this program's
// afterwards: created now, or found with the marker.
bool createMarkedDir(const QString &path);

#endif // REMOVEDIR_H
