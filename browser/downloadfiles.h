#ifndef DOWNLOADFILES_H
#define DOWNLOADFILES_H

#include <QString>

// Where downloads are kept while they run and where they end up. A download
// is written into a hidden directory of its own inside the download
// directory and takes its final name only once complete, so that no partial
// file ever carries it; failed, cancelled and abandoned downloads go with
// their directory. The hidden directory holds a marker that this process
// keeps locked while the download runs, so that leftovers of a program that
// crashed can be told from downloads still running and from the user's own
// files. Any thread.

// The name a download is saved under: |suggested| without any directory
// part, control, format or line-separator characters (shown as "_"), and
// without leading or trailing dots and blanks, so that it can neither be a
// hidden start-up file nor show another extension than it has; at most 200
// bytes in UTF-8; "download" when nothing usable is left.
QString downloadFileName(const QString &suggested);

// Creates the hidden directory for a download of |name| in |directory|
// (created if missing), marks and locks it, and returns the path to write the
// download to, or an empty string when that is impossible.
QString reserveDownload(const QString &directory, const QString &name);

// Moves the complete download at |temporaryPath| to |name| in |directory|,
// or to the first of "name (1).ext", "name (2).ext", ... that does not exist
// there; an existing file is never overwritten, also not one that appears
// meanwhile. Where the file system cannot rename so, the file is copied into
// a newly created file instead. Removes the hidden directory. Returns the
// final path. When neither works, the complete download is kept where it is,
// its directory unmarked so that nothing removes it, and |temporaryPath| is
// returned; an empty string only when even that file is gone.
QString publishDownload(const QString &temporaryPath, const QString &directory, const QString &name);

// Removes the hidden directory of the download at |temporaryPath| with
// whatever the engine left in it.
void discardDownload(const QString &temporaryPath);

// Removes the hidden download directories in |directory| that a program
// which has ended left behind: only those marked as this program's, and
// none whose marker a running program holds.
void sweepDownloadLeftovers(const QString &directory);

#endif // DOWNLOADFILES_H
