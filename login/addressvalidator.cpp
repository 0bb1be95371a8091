#include "addressvalidator.h"

#include <QRegExp>

bool isValidAddress(const QString &address)
{
    // [0-9] rather than \d: \d takes any Unicode decimal digit, and an address
    // in Arabic-Indic or full-width digits is no IPv4 address. The expression
    // is built per call because QRegExp caches match state and is not shared.
    QRegExp pattern(QStringLiteral("((2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)\\.){3}"
                                   "(2[0-4][0-9]|25[0-5]|[01]?[0-9][0-9]?)"),
                    Qt::CaseSensitive, QRegExp::RegExp);
    return pattern.exactMatch(address);
}
