// Input: one flag byte, then the settings file's content. A flag of 0xC0 or
// more puts (flag - 0xBF) KiB of the content's first byte before it, so that
// inputs kept short for speed still reach long lines and the file's 64 KiB
// read cap, with a line break or a line straddling it.
#include "settingsfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QVector>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Removed, with what it holds, when the fuzzer exits normally; run.sh points
// TMPDIR at its own scratch directory for the other exits.
const QTemporaryDir &workDir()
{
    static const QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "fuzz_settings: no temporary directory: %s\n", qPrintable(dir.errorString()));
        std::abort();
    }
    return dir;
}

// libFuzzer keeps the input that failed; the property is named here.
[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

bool isValidUtf8(const QByteArray &bytes)
{
    static QTextCodec *const utf8 = QTextCodec::codecForMib(106);
    QTextCodec::ConverterState state;
    utf8->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 && state.remainingChars == 0;
}

// Printable code points only, so no line breaks (astral ones kept whole).
QString printable(const QString &text)
{
    QVector<uint> kept;
    for (const uint c : text.toUcs4()) {
        if (QChar::isPrint(c))
            kept.append(c);
    }
    return QString::fromUcs4(kept.constData(), kept.size());
}

QStringList readLines(QByteArray content)
{
    QBuffer buffer(&content);
    buffer.open(QIODevice::ReadOnly | QIODevice::Text);
    return readSettingsLines(buffer);
}

// For valid UTF-8 without carriage returns (which text mode drops), within
// the read cap: the lines must be exactly the content's first two lines,
// break included, and a longer line cut at the last whole character that
// fits. A cut line may or may not keep its break.
void checkAgainstReference(const QByteArray &content, const QStringList &lines)
{
    int start = 0;
    int count = 0;
    while (count < 2 && start < content.size()) {
        const int newline = content.indexOf('\n', start);
        const int end = newline < 0 ? content.size() : newline;
        const int next = newline < 0 ? content.size() : newline + 1;
        QString expected;
        const bool cut = end - start > maxSettingsLineBytes;
        if (cut) {
            int keep = start + maxSettingsLineBytes;
            while (keep > start && (uchar(content.at(keep)) & 0xC0) == 0x80)
                --keep;
            expected = QString::fromUtf8(content.mid(start, keep - start));
        } else {
            expected = QString::fromUtf8(content.mid(start, next - start));
        }
        if (count >= lines.size())
            fail("a line is missing");
        const QString &got = lines.at(count);
        if (got != expected && !(cut && got == expected + QLatin1Char('\n')))
            fail(cut ? "a long line is not cut at the last whole character within the cap"
                     : "a line differs from the content");
        ++count;
        start = next;
    }
    if (lines.size() != count)
        fail("more lines than the content has");
}

void checkLines(const QByteArray &content, const QStringList &lines)
{
    if (lines.size() > 2)
        fail("more than two lines");
    for (const QString &line : lines) {
        const int newline = line.indexOf(QLatin1Char('\n'));
        if (newline >= 0 && newline != line.size() - 1)
            fail("a line break inside a line");
        QString body = line;
        if (body.endsWith(QLatin1Char('\n')))
            body.chop(1);
        if (body.endsWith(QLatin1Char('\r')))
            body.chop(1);
        // A U+FFFD that stands for a malformed sequence takes three bytes in
        // UTF-8 for at least one byte read, so it is counted as one byte.
        const int bytesRead = body.toUtf8().size() - 2 * body.count(QChar(0xFFFD));
        if (bytesRead > maxSettingsLineBytes)
            fail("a line longer than maxSettingsLineBytes");
    }
    if (content.size() > maxSettingsBytes || !isValidUtf8(content))
        return;
    if (!content.contains("\xEF\xBF\xBD")) {
        for (const QString &line : lines) {
            if (line.contains(QChar(0xFFFD)))
                fail("valid UTF-8 read as a replacement character");
        }
    }
    if (!content.contains('\r'))
        checkAgainstReference(content, lines);
}

// Written by writeSettingsFile and read back by readSettingsFile, an address
// and a user name made of the input's first line and the rest of it.
void checkRoundTrip(const QByteArray &input)
{
    const int newline = input.indexOf('\n');
    if (newline < 0)
        return;
    const QString address = printable(QString::fromUtf8(input.left(newline))).trimmed();
    const QString userName = printable(QString::fromUtf8(input.mid(newline + 1)));
    if (userName.isEmpty() || address.toUtf8().size() > maxSettingsLineBytes
        || userName.toUtf8().size() > maxSettingsLineBytes)
        return;

    const QString fileName = QDir(workDir().path()).filePath(QString::fromLatin1(settingsFileName));
    if (!writeSettingsFile(fileName, address, userName))
        fail("writeSettingsFile failed");
    const QStringList lines = readSettingsFile(fileName);
    if (lines.size() != 2 || lines.at(0).trimmed() != address || lines.at(1) != userName)
        fail("the written address and user name do not read back");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), int(size - 1));
    QByteArray content = input;
    if (data[0] >= 0xC0 && !input.isEmpty())
        content.prepend(QByteArray((data[0] - 0xBF) * 1024, input.at(0)));

    const QStringList lines = readLines(content);
    checkLines(content, lines);

    // Only the file's first maxSettingsBytes count: what follows them must not
    // change the lines.
    const QString rawName = QDir(workDir().path()).filePath(QStringLiteral("raw.txt"));
    QFile raw(rawName);
    if (!raw.open(QIODevice::WriteOnly | QIODevice::Truncate) || raw.write(content) != content.size()) {
        std::fprintf(stderr, "fuzz_settings: cannot write %s\n", qPrintable(rawName));
        std::abort();
    }
    raw.close();
    const QStringList headLines =
        content.size() > maxSettingsBytes ? readLines(content.left(maxSettingsBytes)) : lines;
    const QStringList fileLines = readSettingsFile(rawName);
    if (fileLines != headLines)
        fail("readSettingsFile differs from readSettingsLines on the file's first maxSettingsBytes");

    checkRoundTrip(input);
    return 0;
}
