#ifndef CLIENTSESSION_H
#define CLIENTSESSION_H

#include <QElapsedTimer>
#include <QProcess>
#include <QScopedPointer>
#include <QTemporaryDir>

// One run of the real vmpclient executable, in a working directory and a
// home directory of its own, driven through the X server as a user would.
class ClientSession
{
public:
    // |workDir| empty: a fresh temporary working directory.
    explicit ClientSession(const QString &workDir = QString());
    // A failed test gets the session's timeline and the end of the
    // program's output printed.
    ~ClientSession();

    // Sets a variable of the program's environment; before start().
    void setEnv(const QString &name, const QString &value) { extraEnv_.insert(name, value); }
    bool start(const QStringList &arguments = QStringList());
    QString workDir() const;
    QString homeDir() const;
    QProcess &process() { return process_; }
    qint64 pid() const { return process_.processId(); }

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
    // Kills the program and everything it started.
    void killAll();

    QString readFile(const QString &name) const;

    // Notes when a step of the session ended; a failed test prints the list.
    void mark(const QString &step);

private:

    QElapsedTimer started_;
    QStringList timeline_;
    QScopedPointer<QTemporaryDir> ownWorkDir_;
    QString workDir_;
    QTemporaryDir home_;
    QProcessEnvironment extraEnv_;
    QProcess process_;
};

#endif // CLIENTSESSION_H
