// Downloads that a page cannot turn against the user, on the real program:
// nothing lost with the window that started it, nothing planted.
#include "programtest.h"

#include <QDir>
#include <QDirIterator>

#include "useractions.h"
#include "x11util.h"

namespace {

// A page that downloads |path| as |name| as soon as it loads.
QByteArray downloadingPage(const QByteArray &path, const QByteArray &name)
{
    return "<html><body><a id=a href='" + path + "' download='" + name
        + "'>file</a><script>document.getElementById('a').click();</script></body></html>";
}

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

// Was: the download was dropped with its popup and never took its name.
void TestProgram::popupDownloadLandsAfterPopupCloses()
{
    PlatformServer::Route opener;
    opener.body = "<html><body><script>window.open('/export-popup', 'export', 'width=320,height=240');"
                  "</script></body></html>";
    server.server()->setRoute("/", opener);
    PlatformServer::Route popup;
    popup.body = downloadingPage("/export", "export.bin");
    server.server()->setRoute("/export-popup", popup);
    PlatformServer::Route file;
    file.contentType = "application/octet-stream";
    for (int i = 0; i < 4 * 1024 * 1024 / 8; ++i)
        file.body += QByteArray::number(i, 16).rightJustified(8, '.');
    file.holdAfter = 1024 * 1024;
    server.server()->setRoute("/export", file);

    ClientSession session;
    QVERIFY(openPage(session));
    const unsigned long view = session.waitForViewWindow();
    const QString downloads = QDir(session.homeDir()).filePath(QStringLiteral("Downloads"));
    // The engine writes the file: the download runs.
    const auto running = [&] {
        QDirIterator files(downloads, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            if (!files.next().endsWith(QLatin1String(".lock")))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(running(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(session.windows().size(), 2, 10000);
    const unsigned long popupWindow = session.windows().constFirst() == view ? session.windows().constLast()
                                                                              : session.windows().constFirst();
    QVERIFY(x11::requestClose(popupWindow));
    QTRY_COMPARE_WITH_TIMEOUT(session.windows(), QList<unsigned long>{view}, 20000);
    session.mark(QStringLiteral("popup closed"));

    server.server()->releaseHeld();
    QTRY_COMPARE_WITH_TIMEOUT(entries(downloads), QStringList{QStringLiteral("export.bin")}, 30000);
    QFile saved(QDir(downloads).filePath(QStringLiteral("export.bin")));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll() == file.body);
    QVERIFY(closeView(session));
}

// Was: with the home directory as download directory, a page planted a shell
// start-up file.
void TestProgram::dotFileDownloadCannotPlantStartUpFile()
{
    PlatformServer::Route page;
    page.body = downloadingPage("/profile", ".bash_profile");
    server.server()->setRoute("/", page);
    PlatformServer::Route file;
    file.contentType = "application/octet-stream";
    file.body = "echo planted\n";
    server.server()->setRoute("/profile", file);

    ClientSession session;
    const QDir home(session.homeDir());
    QVERIFY(home.mkpath(QStringLiteral(".config")));
    QFile dirs(home.filePath(QStringLiteral(".config/user-dirs.dirs")));
    QVERIFY(dirs.open(QIODevice::WriteOnly) && dirs.write("XDG_DOWNLOAD_DIR=\"$HOME/\"\n") > 0);
    dirs.close();
    QVERIFY(openPage(session));
    QTRY_VERIFY_WITH_TIMEOUT(home.exists(QStringLiteral("bash_profile")), 30000);
    QVERIFY(!home.exists(QStringLiteral(".bash_profile")));
    QFile saved(home.filePath(QStringLiteral("bash_profile")));
    QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll() == file.body);
    QVERIFY(closeView(session));
}

// Was: a page looping a.click() downloaded without end and unasked.
void TestProgram::repeatedDownloadsAskedAndRefused()
{
    PlatformServer::Route page;
    page.body = "<html><body><script>const a = document.createElement('a');"
                "a.href = URL.createObjectURL(new Blob(['x'.repeat(100000)])); a.download = 'blob.bin';"
                "for (let i = 0; i < 6; i++) a.click();</script></body></html>";
    server.server()->setRoute("/", page);
    ClientSession session;
    QVERIFY(openPage(session));
    // The platform's page may start three at once; the fourth asks, and
    // Return refuses: the default, although "allow" is the box's first
    // button.
    const QString title = QStringLiteral("http://") + address;
    unsigned long question = 0;
    QTRY_VERIFY_WITH_TIMEOUT(!x11::findWindows(title).isEmpty()
                                 && x11::isViewable(question = x11::findWindows(title).constFirst()),
                             30000);
    QVERIFY(user::activate(question) && user::key(QStringLiteral("Return")));
    const QString downloads = QDir(session.homeDir()).filePath(QStringLiteral("Downloads"));
    const QStringList three = {"blob (1).bin", "blob (2).bin", "blob.bin"};
    QTRY_COMPARE_WITH_TIMEOUT(entries(downloads), three, 30000);
    QVERIFY(closeView(session));
    QCOMPARE(entries(downloads), three);
}
