#ifndef CACHEDIRLOCK_H
#define CACHEDIRLOCK_H

#include <QLockFile>
#include <QString>

// Claims a browser cache directory for this process for as long as the object
// lives, through a lock file beside it. A second program started in the same
// working directory does not get the claim and must leave the directory
// alone. A lock left behind by a process that has died is taken over.
class CacheDirLock
{
public:
    explicit CacheDirLock(const QString &cacheDir);
    ~CacheDirLock();
    CacheDirLock(const CacheDirLock &) = delete;
    CacheDirLock &operator=(const CacheDirLock &) = delete;

    // True when this process may empty and use the directory.
    bool isOwner() const { return owner; }

    // The lock file used for |cacheDir|.
    static QString lockFilePath(const QString &cacheDir);

private:
    QLockFile lock;
    bool owner;
};

#endif // CACHEDIRLOCK_H
