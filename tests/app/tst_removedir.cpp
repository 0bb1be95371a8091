// removeDir and createMarkedDir on real directory trees.
#include <QtTest>

#include "filetree.h"
#include "removedir.h"

namespace {

// A directory as this program leaves it: the marker file inside.
bool makeOurs(const QString &dir)
{
    return QDir().mkpath(dir) && writeFile(QDir(dir).filePath(QLatin1String(cacheOwnerMarker)), "ours");
}

bool link(const QString &target, const QString &linkPath)
{
    QDir().mkpath(QFileInfo(linkPath).path());
    return QFile::link(target, linkPath);
}

// Changes the working directory for one scope.
class WorkingDirectory
{
public:
    explicit WorkingDirectory(const QString &path) : previous(QDir::currentPath()) { QDir::setCurrent(path); }
    ~WorkingDirectory() { QDir::setCurrent(previous); }

private:
    const QString previous;
};

} // namespace

class TestRemoveDir : public QObject
{
    Q_OBJECT

public:
    enum Layout { NoMarker, PlainFile, MarkerIsDirectory, MarkerOnlyDeeper, LinkToMarkedDirectory };
    Q_ENUM(Layout)

private slots:
    void init();
    void nestedTreeRemovedDepthFirst();
    void emptyPathTouchesNothing();
    void missingDirectoryCountsAsRemoved();
    void hiddenFileKeepsItsDirectoriesAndTheMarker();
    void linksAreRemovedNotFollowed_data();
    void linksAreRemovedNotFollowed();
    void nothingAboveIsRemoved();
    void leavesWhatIsNotOurs_data();
    void leavesWhatIsNotOurs();
    void createMarkedDirMakesAVisibleMarker();
    void createMarkedDirLeavesExistingAlone_data();
    void createMarkedDirLeavesExistingAlone();

private:
    void makeLayout(Layout layout);
    QString path(const QString &relative) const { return temp->filePath(relative); }

    QScopedPointer<QTemporaryDir> temp;
};

void TestRemoveDir::init()
{
    temp.reset(new QTemporaryDir);
    QVERIFY(temp->isValid());
}

void TestRemoveDir::nestedTreeRemovedDepthFirst()
{
    const QString cache = path("parent/.cache");
    QVERIFY(makeOurs(cache));
    QVERIFY(writeFile(cache + "/a/b/c/deep.txt"));
    QVERIFY(writeFile(cache + "/a/b/mid.txt"));
    QVERIFY(writeFile(cache + "/a/Top.txt"));
    QVERIFY(writeFile(cache + "/B/other.bin"));
    QVERIFY(writeFile(cache + "/zed"));
    QVERIFY(QDir().mkpath(cache + "/empty/inner"));

    QVERIFY(removeDir(cache));
    QVERIFY(!QFileInfo::exists(cache));
    QVERIFY(QFileInfo(path("parent")).isDir());
}

void TestRemoveDir::emptyPathTouchesNothing()
{
    // The working directory looks like ours, so taking "" for "." would show.
    const QString work = path("work");
    QVERIFY(makeOurs(work));
    QVERIFY(writeFile(work + "/set.txt", "10.0.0.1\n"));
    QVERIFY(makeOurs(work + "/.cache"));
    const QMap<QString, QString> before = snapshot(temp->path());

    WorkingDirectory cwd(work);
    QVERIFY(!removeDir(QString()));
    QVERIFY(!removeDir(QStringLiteral("")));
    QCOMPARE(snapshot(temp->path()), before);
}

void TestRemoveDir::missingDirectoryCountsAsRemoved()
{
    QVERIFY(removeDir(path("missing/.cache")));
    QVERIFY(removeDir(path(".cache")));
    QVERIFY(snapshot(temp->path()).isEmpty());
}

void TestRemoveDir::hiddenFileKeepsItsDirectoriesAndTheMarker()
{
    const QString cache = path(".cache");
    QVERIFY(makeOurs(cache));
    QVERIFY(writeFile(cache + "/a/b/.hidden", "kept"));
    QVERIFY(writeFile(cache + "/a/b/visible.txt"));
    QVERIFY(writeFile(cache + "/a/gone/x.txt"));
    QVERIFY(writeFile(cache + "/z.txt"));

    QVERIFY(!removeDir(cache));
    const QString marker = QStringLiteral(".cache/") + QLatin1String(cacheOwnerMarker);
    const QMap<QString, QString> expected{{".cache", "dir"},
                                          {marker, "file:ours"},
                                          {".cache/a", "dir"},
                                          {".cache/a/b", "dir"},
                                          {".cache/a/b/.hidden", "file:kept"}};
    QCOMPARE(snapshot(temp->path()), expected);

    // The marker that stayed lets a later start finish the job.
    QVERIFY(QFile::remove(cache + "/a/b/.hidden"));
    QVERIFY(removeDir(cache));
    QVERIFY(!QFileInfo::exists(cache));
}

void TestRemoveDir::linksAreRemovedNotFollowed_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("linkPath");

    QTest::newRow("to an outside directory") << "outside/dir" << ".cache/link";
    QTest::newRow("to an outside file") << "outside/dir/file.txt" << ".cache/link";
    QTest::newRow("to a marked outside directory") << "outside/marked" << ".cache/link";
    QTest::newRow("nested, to an outside directory") << "outside/dir" << ".cache/sub/deeper/link";
    QTest::newRow("to the parent directory") << "." << ".cache/up";
}

// Symptom: emptying ".cache" emptied whatever a link inside it pointed to.
void TestRemoveDir::linksAreRemovedNotFollowed()
{
    QFETCH(QString, target);
    QFETCH(QString, linkPath);

    QVERIFY(writeFile(path("outside/dir/file.txt"), "precious"));
    QVERIFY(writeFile(path("outside/dir/sub/more.txt"), "precious too"));
    QVERIFY(makeOurs(path("outside/marked")));
    QVERIFY(writeFile(path("outside/marked/data.bin")));
    const QMap<QString, QString> outside = snapshot(path("outside"));

    QVERIFY(makeOurs(path(".cache")));
    QVERIFY(writeFile(path(".cache/plain.txt")));
    QVERIFY(link(path(target), path(linkPath)));

    QVERIFY(removeDir(path(".cache")));
    QVERIFY(!QFileInfo::exists(path(".cache")));
    QCOMPARE(snapshot(path("outside")), outside);
}

// Symptom: with nothing else in it, the working directory went with ".cache".
void TestRemoveDir::nothingAboveIsRemoved()
{
    const QString parent = path("home/user");
    QVERIFY(makeOurs(parent + "/.cache"));
    QVERIFY(writeFile(parent + "/.cache/a/b.txt"));

    WorkingDirectory cwd(parent);
    QVERIFY(removeDir(QStringLiteral(".cache")));
    QVERIFY(!QFileInfo::exists(parent + "/.cache"));
    QVERIFY(QFileInfo(parent).isDir());
    QVERIFY(QFileInfo(path("home")).isDir());
}

void TestRemoveDir::makeLayout(Layout layout)
{
    const QString cache = path(".cache");
    switch (layout) {
    case NoMarker:
        QVERIFY(writeFile(cache + "/other-program/data.bin", "someone else's"));
        QVERIFY(writeFile(cache + "/top.txt"));
        break;
    case PlainFile:
        QVERIFY(writeFile(cache, "a file, not a directory"));
        break;
    case MarkerIsDirectory:
        QVERIFY(QDir().mkpath(cache + "/" + QLatin1String(cacheOwnerMarker)));
        QVERIFY(writeFile(cache + "/other-program/data.bin"));
        break;
    case MarkerOnlyDeeper:
        QVERIFY(makeOurs(cache + "/sub"));
        QVERIFY(writeFile(cache + "/other-program/data.bin"));
        break;
    case LinkToMarkedDirectory:
        QVERIFY(makeOurs(path("elsewhere")));
        QVERIFY(writeFile(path("elsewhere/data.bin")));
        QVERIFY(link(path("elsewhere"), cache));
        break;
    }
}

void TestRemoveDir::leavesWhatIsNotOurs_data()
{
    QTest::addColumn<Layout>("layout");

    QTest::newRow("directory without marker") << NoMarker;
    QTest::newRow("plain file named .cache") << PlainFile;
    QTest::newRow("marker name is a directory") << MarkerIsDirectory;
    QTest::newRow("marker only in a subdirectory") << MarkerOnlyDeeper;
    QTest::newRow(".cache is a link to a marked directory") << LinkToMarkedDirectory;
}

// Symptom: started in the home directory, the program emptied the user's ~/.cache.
void TestRemoveDir::leavesWhatIsNotOurs()
{
    QFETCH(Layout, layout);
    makeLayout(layout);
    const QMap<QString, QString> before = snapshot(temp->path());

    QVERIFY(!removeDir(path(".cache")));
    QCOMPARE(snapshot(temp->path()), before);
}

void TestRemoveDir::createMarkedDirMakesAVisibleMarker()
{
    const QString cache = path(".cache");
    QVERIFY(createMarkedDir(cache));
    // Listed without QDir::Hidden, as removeDir lists what it removes.
    QCOMPARE(QDir(cache).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList(QLatin1String(cacheOwnerMarker)));

    QVERIFY(writeFile(cache + "/engine/data"));
    QVERIFY(removeDir(cache));
    QVERIFY(!QFileInfo::exists(cache));
}

void TestRemoveDir::createMarkedDirLeavesExistingAlone_data()
{
    leavesWhatIsNotOurs_data();
}

void TestRemoveDir::createMarkedDirLeavesExistingAlone()
{
    QFETCH(Layout, layout);
    makeLayout(layout);
    const QMap<QString, QString> before = snapshot(temp->path());

    // A marker added here would get someone else's directory emptied next time.
    createMarkedDir(path(".cache"));
    QCOMPARE(snapshot(temp->path()), before);
}

QTEST_GUILESS_MAIN(TestRemoveDir)

#include "tst_removedir.moc"
