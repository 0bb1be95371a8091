#ifndef SETTINGSFILE_H
#define SETTINGSFILE_H

#include <QStringList>

class QIODevice;

// The file that remembers the server address (line 1) and the user name
// (line 2), UTF-8 text, opened by this relative name in the working directory.
extern const char settingsFileName[];

// Limits on what is read, so that a huge or binary file cannot stall the
// login window: at most maxSettingsBytes from the start of the file, and of
// each line at most maxSettingsLineBytes besides its line break, cut back to
// the last whole UTF-8 character. A real address or user name is far shorter.
constexpr qint64 maxSettingsBytes = 64 * 1024;
constexpr int maxSettingsLineBytes = 1024;

// The first two lines of a device opened in text mode, each converted from
// UTF-8 as read, a line break at its end included. Fewer when the device
// holds fewer; further lines are not read.
QStringList readSettingsLines(QIODevice &device);

// The first two lines of the named file, as readSettingsLines gives them. A
// missing or unreadable file, and anything that is not a regular file (a
// directory, FIFO, socket or device), yield none. A symbolic link is followed.
QStringList readSettingsFile(const QString &fileName);

// Replaces the named file atomically with the address, a line end and the
// user name, with nothing after it; with an empty user name the file holds
// the address line alone. Through a symbolic link the link's target is
// replaced. False when the file could not be written; the old content is
// then left as it was.
bool writeSettingsFile(const QString &fileName, const QString &address, const QString &userName);

#endif // SETTINGSFILE_H
