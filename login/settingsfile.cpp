#include "settingsfile.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include "regularfile.h"

const char settingsFileName[] = "set.txt";

namespace {

// Drops a UTF-8 sequence that the cut at the end of bytes left incomplete.
QByteArray cutAtCharacterBoundary(QByteArray bytes)
{
    int lead = bytes.size() - 1;
    while (lead >= 0 && bytes.size() - lead < 4 && (uchar(bytes.at(lead)) & 0xC0) == 0x80)
        --lead;
    if (lead < 0)
        return bytes;
    const uchar first = uchar(bytes.at(lead));
    const int length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    if (bytes.size() - lead < length)
        bytes.truncate(lead);
    return bytes;
}

} // namespace

QStringList readSettingsLines(QIODevice &device)
{
    QStringList lines;
    while (lines.size() < 2 && !device.atEnd()) {
        // Room for a full line and its line break, and one byte more to tell
        // a line that is too long.
        QByteArray line = device.readLine(maxSettingsLineBytes + 2);
        if (line.size() > maxSettingsLineBytes && !line.endsWith('\n')) {
            line = cutAtCharacterBoundary(line.left(maxSettingsLineBytes));
            char c;
            while (device.getChar(&c) && c != '\n') {
            }
        }
        lines.append(QString::fromUtf8(line));
    }
    return lines;
}

QStringList readSettingsFile(const QString &fileName)
{
    QFile file;
    if (!openRegularFile(file, fileName))
        return QStringList();
    // The head is read in binary and split in text mode, so that the cap
    // counts the bytes of the file itself.
    QByteArray head = file.read(maxSettingsBytes);
    QBuffer buffer(&head);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    return readSettingsLines(buffer);
}

bool writeSettingsFile(const QString &fileName, const QString &address, const QString &userName)
{
    // QSaveFile writes a temporary file beside the target and renames it over
    // the target only when everything was written, so a crash or a full disk
    // leaves the old file whole. It resolves a symbolic link to its target.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    file.write((address + QLatin1Char('\n') + userName).toUtf8());
    return file.commit();
}
