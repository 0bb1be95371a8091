#include "removedir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const char cacheOwnerMarker[] = "vmpclient-owns-this-directory";

namespace {

// Removes everything listable below |dir|, depth first, in name order
// ignoring case. Returns true when every listed entry went.
bool removeContents(const QDir &dir, const QString &keep)
{
    bool ok = true;
    QDir listing(dir);
    listing.setFilter(QDir::AllEntries | QDir::NoDotAndDotDot);
    QFileInfoList entries = listing.entryInfoList();
    // Links whose target is gone are listed only among system entries; they
    // are links all the same and go with the rest.
    const QFileInfoList system = dir.entryInfoList(QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : system) {
        if (entry.isSymLink() && !entry.exists() && !entry.fileName().startsWith(QLatin1Char('.')))
            entries.append(entry);
    }
    for (const QFileInfo &entry : entries) {
        if (!keep.isEmpty() && entry.fileName() == keep)
            continue;
        if (entry.isSymLink()) {
            // A link goes, whatever it points to; its target is never entered.
            ok = QFile::remove(entry.absoluteFilePath()) && ok;
        } else if (entry.isFile()) {
            ok = entry.dir().remove(entry.fileName()) && ok;
        } else {
            const QString path = entry.absoluteFilePath();
            ok = removeContents(QDir(path), QString()) && ok;
            // Only the directory itself: its parents are never removed.
            ok = QDir().rmdir(path) && ok;
        }
    }
    return ok;
}

} // namespace

bool removeDir(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return true;
    // Only a real directory that this program created is emptied: the
    // working directory may well be the home directory, where a ".cache" of
    // someone else's holds other programs' data.
    if (info.isSymLink() || !info.isDir())
        return false;
    if (!isMarkedDir(path))
        return false;
    const QDir dir(info.absoluteFilePath());

    removeContents(dir, QLatin1String(cacheOwnerMarker));
    // The marker goes last, and only when nothing else is left, so that a
    // directory that could not be emptied is still known as ours next time.
    const QStringList left = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    if (left != QStringList(QLatin1String(cacheOwnerMarker)))
        return false;
    if (!QFile::remove(dir.filePath(QLatin1String(cacheOwnerMarker))))
        return false;
    return QDir().rmdir(dir.absolutePath());
}

bool isMarkedDir(const QString &path)
{
    const QFileInfo info(path);
    return !info.isSymLink() && info.isDir()
        && QFileInfo(QDir(info.absoluteFilePath()).filePath(QLatin1String(cacheOwnerMarker))).isFile();
}

bool createMarkedDir(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return isMarkedDir(path);
    if (!QDir().mkdir(path))
        return false;
    QFile marker(QDir(path).filePath(QLatin1String(cacheOwnerMarker)));
    if (!marker.open(QIODevice::WriteOnly))
        return false;
    marker.write("This directory was created by vmpclient and is emptied at its start.\n");
    return marker.flush();
}
