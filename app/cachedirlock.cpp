#include "cachedirlock.h"

CacheDirLock::CacheDirLock(const QString &cacheDir)
    : lock(lockFilePath(cacheDir))
    , owner(false)
{
    // Only a lock whose process is gone counts as stale, never one that is
    // merely old: a client may well run for days.
    lock.setStaleLockTime(0);
    owner = lock.tryLock(0);
}

CacheDirLock::~CacheDirLock()
{
    if (owner)
        lock.unlock();
}

QString CacheDirLock::lockFilePath(const QString &cacheDir)
{
    return cacheDir + QStringLiteral(".lock");
}
