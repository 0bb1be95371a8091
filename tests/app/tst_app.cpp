// Process start-up's units: the role test of main, and removeDir and
// createMarkedDir on real directory trees, each in a temporary working
// directory of its own.
#include <QtTest>

#include <vector>

#include "filetree.h"
#include "issubprocess.h"
#include "removedir.h"

namespace {

// Creates entries in the working directory: "a/b/" a directory, "link>target"
// a symbolic link, anything else a file holding "data"; "%M" stands for the
// marker's name.
bool build(const QStringList &entries)
{
    for (QString entry : entries) {
        entry.replace("%M", cacheOwnerMarker);
        const QStringList link = entry.split('>');
        bool made = false;
        if (link.size() == 2)
            made = QDir().mkpath(QFileInfo(link[0]).path())
                && QFile::link(QFileInfo(link[1]).absoluteFilePath(), link[0]);
        else
            made = entry.endsWith('/') ? QDir().mkpath(entry) : writeFile(entry);
        if (!made)
            return false;
    }
    return true;
}

} // namespace

class TestApp : public QObject
{
    Q_OBJECT

    const QString startDir = QDir::currentPath();
    QScopedPointer<QTemporaryDir> temp;

private slots:
    // "--type" anywhere counts, the program path included; capitals do not.
    void roleFromArguments_data()
    {
        QTest::addColumn<QByteArrayList>("arguments");
        QTest::addColumn<bool>("subProcess");

        QTest::newRow("engine switch") << QByteArrayList{"vmpclient", "--type=renderer"} << true;
        QTest::newRow("longer switch --typeface") << QByteArrayList{"vmpclient", "--typeface"} << true;
        QTest::newRow("inside a word, not first") << QByteArrayList{"vmpclient", "x", "z--typez"} << true;
        QTest::newRow("after a lone --") << QByteArrayList{"vmpclient", "--", "--type=renderer"} << true;
        QTest::newRow("program path a--type/") << QByteArrayList{"/opt/a--type/vmpclient"} << true;
        QTest::newRow("non-ASCII around it") << QByteArrayList{"vmpclient", "视频--type平台"} << true;
        QTest::newRow("capitals --TYPE=renderer") << QByteArrayList{"vmpclient", "--TYPE=renderer"} << false;
        QTest::newRow("single dash -type") << QByteArrayList{"vmpclient", "-type=gpu-process"} << false;
        QTest::newRow("split over arguments") << QByteArrayList{"vmpclient", "--", "type"} << false;
        QTest::newRow("program only") << QByteArrayList{"vmpclient"} << false;
        QTest::newRow("no arguments") << QByteArrayList{} << false;
    }

    void roleFromArguments()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(bool, subProcess);
        // argv as main gets it, ending with a null entry.
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        QCOMPARE(isSubProcess(arguments.size(), argv.data()), subProcess);
    }

    void init()
    {
        temp.reset(new QTemporaryDir);
        QVERIFY(temp->isValid() && QDir::setCurrent(temp->path()));
    }

    void cleanup() { QDir::setCurrent(startDir); }

    // Symptom: with nothing else in it, the working directory went with ".cache".
    void nothingAboveIsRemoved()
    {
        QVERIFY(build({"home/user/"}) && createMarkedDir("home/user/.cache"));
        // Listed without QDir::Hidden, as removeDir lists what it removes.
        QCOMPARE(QDir("home/user/.cache").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList(cacheOwnerMarker));
        // A nested tree, removed depth first.
        QVERIFY(build({"home/user/.cache/a/b/c/deep.txt", "home/user/.cache/a/b/mid.txt",
                       "home/user/.cache/B/other.bin", "home/user/.cache/empty/inner/"}));
        QVERIFY(QDir::setCurrent("home/user") && removeDir(".cache"));
        QCOMPARE(snapshot(temp->path()), (QMap<QString, QString>{{"home", "dir"}, {"home/user", "dir"}}));
    }

    void emptyPathOrMissingDirectory()
    {
        // The working directory looks like ours, so taking "" for "." would show.
        QVERIFY(build({"%M", "set.txt", ".cache/%M"}));
        const QMap<QString, QString> before = snapshot(".");
        QVERIFY(!removeDir(QString()) && !removeDir(""));
        QVERIFY(removeDir("missing/.cache"));
        QCOMPARE(snapshot("."), before);
    }

    void hiddenFileKeepsItsDirectoriesAndTheMarker()
    {
        QVERIFY(build({".cache/%M", ".cache/a/b/.hidden", ".cache/a/b/visible.txt", ".cache/a/gone/x", ".cache/z"}));
        QVERIFY(!removeDir(".cache"));
        const QMap<QString, QString> expected{{".cache", "dir"}, {QString(".cache/") + cacheOwnerMarker, "file:data"},
                                              {".cache/a", "dir"}, {".cache/a/b", "dir"},
                                              {".cache/a/b/.hidden", "file:data"}};
        QCOMPARE(snapshot("."), expected);
        // The marker that stayed lets a later start finish the job.
        QVERIFY(QFile::remove(".cache/a/b/.hidden") && removeDir(".cache") && !QFileInfo::exists(".cache"));
    }

    void linksAreRemovedNotFollowed_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("to an outside directory") << ".cache/link>outside/dir";
        QTest::newRow("to a marked outside directory") << ".cache/link>outside/marked";
        QTest::newRow("nested, to an outside file") << ".cache/sub/deeper/link>outside/dir/file.txt";
        QTest::newRow("to the parent directory") << ".cache/up>.";
        // Was: a link whose target is gone stayed, and with it ".cache".
        QTest::newRow("dangling") << ".cache/sub/dangling>outside/nothing-here";
    }

    // Symptom: emptying ".cache" emptied whatever a link inside it pointed to.
    void linksAreRemovedNotFollowed()
    {
        QFETCH(QString, link);
        QVERIFY(build({"outside/dir/file.txt", "outside/dir/sub/more", "outside/marked/%M", "outside/marked/data"}));
        const QMap<QString, QString> outside = snapshot("outside");
        QVERIFY(build({".cache/%M", ".cache/plain.txt", link}));
        QVERIFY(removeDir(".cache") && !QFileInfo::exists(".cache"));
        QCOMPARE(snapshot("outside"), outside);
    }

    void leavesWhatIsNotOurs_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("directory without marker") << QStringList{".cache/other-program/data.bin", ".cache/top.txt"};
        QTest::newRow("plain file named .cache") << QStringList{".cache"};
        QTest::newRow("marker name is a directory") << QStringList{".cache/%M/", ".cache/other-program/data.bin"};
        QTest::newRow("marker only in a subdirectory") << QStringList{".cache/sub/%M", ".cache/other-program/data.bin"};
        QTest::newRow("link to a marked directory") << QStringList{"elsewhere/%M", "elsewhere/x", ".cache>elsewhere"};
    }

    // Symptom: started in the home directory, the program emptied the user's ~/.cache.
    // A marker added by createMarkedDir would have it emptied on the next start.
    void leavesWhatIsNotOurs()
    {
        QFETCH(QStringList, entries);
        QVERIFY(build(entries));
        const QMap<QString, QString> before = snapshot(".");
        QVERIFY(!removeDir(".cache") && !createMarkedDir(".cache"));
        QCOMPARE(snapshot("."), before);
    }
};

QTEST_GUILESS_MAIN(TestApp)

#include "tst_app.moc"
