#ifndef FILETREE_H
#define FILETREE_H

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QString>

// Every entry below |root|, links listed but never followed, with what it
// is: "dir", "file:<content>" or "link:<target>". Comparing two of them shows
// whether anything in the tree changed.
inline QMap<QString, QString> snapshot(const QString &root)
{
    QMap<QString, QString> entries;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        QString what;
        if (info.isSymLink()) {
            what = QStringLiteral("link:") + info.symLinkTarget();
        } else if (info.isDir()) {
            what = QStringLiteral("dir");
        } else {
            QFile file(info.filePath());
            file.open(QIODevice::ReadOnly);
            what = QStringLiteral("file:") + QString::fromUtf8(file.readAll());
        }
        entries.insert(base.relativeFilePath(info.filePath()), what);
    }
    return entries;
}

// Writes |content| to |path|, creating the directories above it.
inline bool writeFile(const QString &path, const QByteArray &content = "data")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

#endif // FILETREE_H
