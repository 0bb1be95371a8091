#ifndef DEVTOOLS_H
#define DEVTOOLS_H

#include <QString>

// What a running program's pages show, read through the engine's DevTools
// protocol, which the program opens when started with
// QTWEBENGINE_REMOTE_DEBUGGING=127.0.0.1:<port>.
class DevTools
{
public:
    DevTools();

    // The value for QTWEBENGINE_REMOTE_DEBUGGING.
    QString address() const;

    // Evaluates |expression| in the first page whose address starts with
    // |urlPrefix| and returns its value as text; a null string when there is
    // no such page or no answer.
    QString evaluate(const QString &urlPrefix, const QString &expression);

private:
    quint16 port;
};

#endif // DEVTOOLS_H
