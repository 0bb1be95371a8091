#ifndef CLIENTSESSION_H
#define CLIENTSESSION_H

#include <QElapsedTimer>
#include <QProcess>
#include <QScopedPointer>
#include <QTemporaryDir>

// One run of a program, the real vmpclient unless told otherwise, in a
// working directory and a home directory of its own, as tests and
// benchmarks drive it: through the X server as a user would, and from
// outside, by its output, its windows and its process tree.
class ClientSession
{
public:
    // |workDir| empty: a fresh temporary working directory.
    explicit ClientSession(const QString &workDir = QString());
    // Kills what is left of the program. A failed test gets the session's
    // timeline and the end of the program's output printed.
    ~ClientSession();

    // Before start(): a variable of the program's environment, and the
    // working directory.
    void setEnv(const QString &name, const QString &value) { extraEnv.insert(name, value); }
    void setWorkDir(const QString &workDir) { workingDir = workDir; }
    // Starts |program|, vmpclient when empty. The engine's variables of this
    // process's environment are not passed on: the program alone decides how
    // its engine runs.
    bool start(const QStringList &arguments = QStringList(), const QString &program = QString());
    QString workDir() const { return workingDir; }
    QString homeDir() const { return home.path(); }
    QProcess &process() { return child; }
    qint64 pid() const { return child.processId(); }
    // All the program has written so far to standard output and error.
    QByteArray standardOutput();
    QByteArray standardError();

    // The visible login window, or 0 when none appears in time.
    unsigned long waitForLoginWindow(int timeoutMs = 30000);
    // The visible web view window, or 0.
    unsigned long waitForViewWindow(int timeoutMs = 30000);
    // Every visible top-level window of the program.
    QList<unsigned long> windows() const;

    // Fills the fields and clicks the login button. A null |user| leaves the
    // user-name field as it is.
    bool login(unsigned long loginWindow, const QString &address, const QString &user, const QString &password);

    // Waits for the process to end; returns false if it does not in time.
    bool waitForExit(int timeoutMs = 30000);
    // True once the program has exited by itself with |code|.
    bool exitedWith(int code) const;
    // Kills the program and everything it started.
    void killAll();

    QString readFile(const QString &name) const;

    // Notes when a step of the session ended; a failed test prints the list.
    void mark(const QString &step);

private:
    void readOutput();

    QElapsedTimer started;
    QStringList timeline;
    QScopedPointer<QTemporaryDir> ownWorkDir;
    QString workingDir;
    QTemporaryDir home;
    QTemporaryDir runtime;
    QProcessEnvironment extraEnv;
    QProcess child;
    QByteArray output;
    QByteArray errors;
};

#endif // CLIENTSESSION_H
