#ifndef DOWNLOADFILES_H
#define DOWNLOADFILES_H

#include <QString>

// Where downloads are kept while they run and where they end up. A download
// is written into a hidden directory of its own inside the download
// directory and takes its final name only once complete, so that no partial
// file ever carries it; failed, cancelled and abandoned downloads go with
// their directory. Any thread.

// The name a download is saved under: |suggested| without any directory
// part or control characters, at most 200 bytes in UTF-8; "download" when
// nothing usable is left.
QString downloadFileName(const QString &suggested);

// Creates the hidden directory for a download of |name| in |directory|
// (created if missing) and returns the path to write the download to, or an
// empty string when that is impossible.
QString reserveDownload(const QString &directory, const QString &name);

// Moves the complete download at |temporaryPath| to |name| in |directory|,
// or to the first of "name (1).ext", "name (2).ext", ... that does not exist
// there; an existing file is never overwritten, also not one that appears
// meanwhile. Removes the hidden directory. Returns the final path, or an
// empty string when the file could not be moved (it is then removed).
QString publishDownload(const QString &temporaryPath, const QString &directory, const QString &name);

// Removes the hidden directory of the download at |temporaryPath| with
// whatever the engine left in it.
void discardDownload(const QString &temporaryPath);

#endif // DOWNLOADFILES_H
