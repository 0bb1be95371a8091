#ifndef REGULARFILE_H
#define REGULARFILE_H

#include <QFile>
#include <QString>

// Opens |fileName| for reading into |file| only when it is a regular file,
// and never waits: a FIFO or a device put in the file's place must not make
// the caller wait for a writer. Each platform has a file of its own
// (regularfile_linux.cpp).
bool openRegularFile(QFile &file, const QString &fileName);

#endif // REGULARFILE_H
