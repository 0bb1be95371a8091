#include "renamenoreplace.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <QFile>

RenameResult renameNoReplace(const QString &from, const QString &to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return RenameResult::Done;
    if (errno == EEXIST)
        return RenameResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS)
        return RenameResult::Failed;
    // A file system without that kind of rename: a hard link claims the name
    // just as atomically.
    if (::link(source.constData(), target.constData()) == 0) {
        ::unlink(source.constData());
        return RenameResult::Done;
    }
    return errno == EEXIST ? RenameResult::TargetExists : RenameResult::Failed;
}
