// Input: one flag byte, then the text; UTF-8 when the flag's low bit is
// clear, UTF-16LE code units (unpaired surrogates included) when it is set.
#include "addressvalidator.h"
#include "starturl.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The address with leading zeros dropped when text is four dot-separated
// fields of one to three ASCII digits, each at most 255; else a null string.
// Written without a regular expression so that it cannot share a mistake
// with the code under test.
QString decimalAddress(const QString &text)
{
    const QStringList fields = text.split(QLatin1Char('.'));
    if (fields.size() != 4)
        return QString();
    QStringList numbers;
    for (const QString &field : fields) {
        if (field.isEmpty() || field.size() > 3)
            return QString();
        int value = 0;
        for (const QChar c : field) {
            if (c.unicode() < '0' || c.unicode() > '9')
                return QString();
            value = value * 10 + (c.unicode() - '0');
        }
        if (value > 255)
            return QString();
        numbers << QString::number(value);
    }
    return numbers.join(QLatin1Char('.'));
}

// libFuzzer keeps the input that failed; the property is named here.
[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    QString text;
    if (data[0] & 1) {
        for (size_t i = 1; i + 1 < size; i += 2)
            text.append(QChar(ushort(data[i] | data[i + 1] << 8)));
    } else {
        text = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), int(size - 1));
    }

    const QString expected = decimalAddress(text);
    const bool valid = isValidAddress(text);
    if (valid != !expected.isNull())
        fail(valid ? "isValidAddress accepts what the reference rejects"
                   : "isValidAddress rejects what the reference accepts");
    if (!valid)
        return 0;

    // Implied by agreeing with the reference, but checked on its own in case
    // both ever take non-ASCII digits alike.
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            fail("isValidAddress accepts non-ASCII text");
    }

    // The fields are decimal, whatever their leading zeros: "010" is ten.
    // QUrl, like a browser, would read a leading zero as octal, so the URL
    // must name the host in plain decimal.
    const QUrl url = startUrl(text, QStringLiteral("u"), QStringLiteral("p"));
    if (!url.isValid() || url.host() != expected)
        fail("the start URL does not name the decimal address");
    return 0;
}
