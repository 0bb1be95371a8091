#ifndef RENAMENOREPLACE_H
#define RENAMENOREPLACE_H

#include <QString>

enum class RenameResult {
    Done,
    TargetExists,
    Failed
};

// Renames the file |from| to |to| in one step that fails when |to| exists,
// so that a file that appears there meanwhile is never overwritten. Both
// must be on the same file system. Each platform has a file of its own
// (renamenoreplace_linux.cpp).
RenameResult renameNoReplace(const QString &from, const QString &to);

#endif // RENAMENOREPLACE_H
