#include "downloadfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "renamenoreplace.h"

namespace {

const char hiddenDirPrefix[] = ".download-";
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

} // namespace

QString downloadFileName(const QString &suggested)
{
    QString name = suggested.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1);
    for (QChar &c : name) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    name = name.trimmed();
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
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("download");
    return name;
}

QString reserveDownload(const QString &directory, const QString &name)
{
    if (!QDir().mkpath(directory))
        return QString();
    QTemporaryDir hidden(QDir(directory).filePath(QLatin1String(hiddenDirPrefix) + QStringLiteral("XXXXXX")));
    if (!hidden.isValid())
        return QString();
    hidden.setAutoRemove(false);
    return QDir(hidden.path()).filePath(name);
}

QString publishDownload(const QString &temporaryPath, const QString &directory, const QString &name)
{
    QString published;
    for (int number = 0; number < maxNumbered; ++number) {
        const QString candidate = QDir(directory).filePath(numbered(name, number));
        const RenameResult result = renameNoReplace(temporaryPath, candidate);
        if (result == RenameResult::Done)
            published = candidate;
        if (result != RenameResult::TargetExists)
            break;
    }
    discardDownload(temporaryPath);
    return published;
}

void discardDownload(const QString &temporaryPath)
{
    QDir hidden = QFileInfo(temporaryPath).absoluteDir();
    // Only ever a directory that reserveDownload made.
    if (hidden.dirName().startsWith(QLatin1String(hiddenDirPrefix)))
        hidden.removeRecursively();
}
