#ifndef FILETREE_H
#define FILETREE_H

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>

// Every entry below |root|, links listed but never followed, with what it
// is: "dir", "file:<content>" or "link:<target>". Comparing two of them shows
// whether anything in the tree changed.
inline QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QFile file(info.filePath());
        const QString what = info.isSymLink() ? "link:" + info.symLinkTarget()
            : info.isDir()                     ? QStringLiteral("dir")
            : file.open(QIODevice::ReadOnly)   ? "file:" + QString::fromUtf8(file.readAll())
                                               : QStringLiteral("file, unreadable");
        entries.insert(QDir(root).relativeFilePath(info.filePath()), what);
    }
    return entries;
}

// Writes |content| to |path|, creating the directories above it.
inline bool writeFile(const QString &path, const QByteArray &content = "data")
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(content) == content.size();
}

#endif // FILETREE_H
