#ifndef ADDRESSVALIDATOR_H
#define ADDRESSVALIDATOR_H

#include <QString>

// True when the whole text is a dotted IPv4 address: four fields of one to
// three ASCII digits, each at most 255, leading zeros allowed, nothing else.
bool isValidAddress(const QString &address);

#endif // ADDRESSVALIDATOR_H
