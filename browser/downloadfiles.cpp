#include "downloadfiles.h"

#include <map>
#include <memory>
#include <mutex>

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QTemporaryDir>

#include "renamenoreplace.h"

namespace {

const char hiddenDirPrefix[] = ".download-";
// A download's name never starts with a dot, so it never meets the marker.
const char markerName[] = ".vmpclient-download.lock";
constexpr int maxNameBytes = 200;
constexpr int maxNumbered = 10000;

// "clip 1.bin" numbered 2 is "clip 1 (2).bin"; a leading dot does not start
// an extension.
QString numbered(const QString &name, int number)
{
    if (number == 0)
        return name;
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const int split = dot > 0 ? dot : name.size();
    return name.left(split) + QStringLiteral(" (%1)").arg(number) + name.mid(split);
}

// The markers this process holds, by hidden directory.
std::mutex claimsLock;
std::map<QString, std::unique_ptr<QLockFile>> claims;

QString hiddenDirOf(const QString &temporaryPath)
{
    return QFileInfo(temporaryPath).absolutePath();
}

// Locks |hiddenDir| for this process; the lock dies with the process, and a
// lock file whose owner has died is what marks a leftover.
bool claim(const QString &hiddenDir)
{
    auto lock = std::make_unique<QLockFile>(QDir(hiddenDir).filePath(QLatin1String(markerName)));
    // A download may run for hours: only a dead owner makes a lock stale.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return false;
    std::lock_guard<std::mutex> guard(claimsLock);
    claims[hiddenDir] = std::move(lock);
    return true;
}

// Unlocks |hiddenDir|, which removes its marker.
void release(const QString &hiddenDir)
{
    std::unique_ptr<QLockFile> lock;
    {
        std::lock_guard<std::mutex> guard(claimsLock);
        const auto it = claims.find(hiddenDir);
        if (it == claims.end())
            return;
        lock = std::move(it->second);
        claims.erase(it);
    }
    lock->unlock();
}

bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// Copies |from| into a file |to| created for it, never into an existing one.
// A partial copy is removed again.
RenameResult copyNoReplace(const QString &from, const QString &to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        return RenameResult::Failed;
    QFile target(to);
    if (!target.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return occupied(to) ? RenameResult::TargetExists : RenameResult::Failed;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    bool ok = true;
    for (;;) {
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (target.write(buffer.constData(), n) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && target.flush();
    target.close();
    if (!ok || target.error() != QFileDevice::NoError) {
        target.remove();
        return RenameResult::Failed;
    }
    return RenameResult::Done;
}

// Gives |temporaryPath| the first free numbered |name| in |directory| through
// |move|; empty when |move| fails.
template <typename Move>
QString placeUnderFreeName(const QString &temporaryPath, const QString &directory, const QString &name, Move move)
{
    for (int number = 0; number < maxNumbered; ++number) {
        const QString candidate = QDir(directory).filePath(numbered(name, number));
        const RenameResult result = move(temporaryPath, candidate);
        if (result == RenameResult::Done)
            return candidate;
        if (result != RenameResult::TargetExists)
            break;
    }
    return QString();
}

} // namespace

QString downloadFileName(const QString &suggested)
{
    const QString base = suggested.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    // Format characters (bidi overrides, zero widths) and line separators
    // would make the name read otherwise than it is: "report\u202Efdp.sh".
    QVector<uint> points = base.toUcs4();
    for (uint &c : points) {
        switch (QChar::category(c)) {
        case QChar::Other_Control:
        case QChar::Other_Format:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            c = '_';
            break;
        default:
            break;
        }
    }
    QString name = QString::fromUcs4(points.constData(), points.size());
    // Too long for file systems once numbered: shortened before its
    // extension, by whole characters.
    if (name.toUtf8().size() > maxNameBytes) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        const QString extension = dot > 0 && name.size() - dot <= 16 ? name.mid(dot) : QString();
        QString base = name.left(name.size() - extension.size());
        while (!base.isEmpty() && (base + extension).toUtf8().size() > maxNameBytes)
            base.chop(base.size() >= 2 && base.at(base.size() - 1).isLowSurrogate() ? 2 : 1);
        name = base + extension;
    }
    // As Chromium does: no leading dot, so no hidden file (".bash_profile"
    // in a home directory that is the download directory), and no trailing
    // one.
    int first = 0;
    int last = name.size();
    while (first < last && (name.at(first) == QLatin1Char('.') || name.at(first).isSpace()))
        ++first;
    while (last > first && (name.at(last - 1) == QLatin1Char('.') || name.at(last - 1).isSpace()))
        --last;
    name = name.mid(first, last - first);
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString reserveDownload(const QString &directory, const QString &name)
{
    if (!QDir().mkpath(directory))
        return QString();
    QTemporaryDir hidden(QDir(directory).filePath(QLatin1String(hiddenDirPrefix) + QStringLiteral("XXXXXX")));
    if (!hidden.isValid())
        return QString();
    const QString hiddenDir = QFileInfo(hidden.path()).absoluteFilePath();
    if (!claim(hiddenDir))
        return QString();
    hidden.setAutoRemove(false);
    return QDir(hiddenDir).filePath(name);
}

QString publishDownload(const QString &temporaryPath, const QString &directory, const QString &name)
{
    QString published = placeUnderFreeName(temporaryPath, directory, name, renameNoReplace);
    // A file system without either kind of atomic rename (some FUSE and
    // shared folders), or a rename refused: a copy into a file created for
    // it is just as safe for the files already there.
    if (published.isEmpty())
        published = placeUnderFreeName(temporaryPath, directory, name, copyNoReplace);
    if (!published.isEmpty()) {
        discardDownload(temporaryPath);
        return published;
    }
    // Complete data is never thrown away: it stays where it is, unmarked,
    // for the user to fetch.
    release(hiddenDirOf(temporaryPath));
    return QFileInfo(temporaryPath).isFile() ? temporaryPath : QString();
}

void discardDownload(const QString &temporaryPath)
{
    const QString hiddenDir = hiddenDirOf(temporaryPath);
    release(hiddenDir);
    QDir hidden(hiddenDir);
    // Only ever a directory that reserveDownload made.
    if (hidden.dirName().startsWith(QLatin1String(hiddenDirPrefix)))
        hidden.removeRecursively();
}

void sweepDownloadLeftovers(const QString &directory)
{
    const QStringList pattern{QLatin1String(hiddenDirPrefix) + QLatin1Char('*')};
    const QFileInfoList leftovers
        = QDir(directory).entryInfoList(pattern, QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot);
    for (const QFileInfo &leftover : leftovers) {
        const QString marker = QDir(leftover.filePath()).filePath(QLatin1String(markerName));
        const QFileInfo markerInfo(marker);
        if (!markerInfo.isFile() || markerInfo.isSymLink())
            continue;
        // Taken only over a lock whose owner has died.
        QLockFile lock(marker);
        lock.setStaleLockTime(0);
        if (!lock.tryLock(0))
            continue;
        lock.unlock();
        QDir(leftover.filePath()).removeRecursively();
    }
}
