// The engine layer's base types: command line, strings, settings, reference
// counts and the sub-process entry.
#include <QtTest>

#include <atomic>
#include <thread>
#include <vector>

#include "include/cef_app.h"
#include "include/cef_command_line.h"

namespace {

// argv as a process gets it, from a list of texts.
class Argv
{
public:
    explicit Argv(const QStringList &arguments)
    {
        for (const QString &argument : arguments)
            storage.push_back(argument.toUtf8());
        for (QByteArray &argument : storage)
            pointers.push_back(argument.data());
        pointers.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(storage.size()); }
    char **argv() { return pointers.data(); }

private:
    std::vector<QByteArray> storage;
    std::vector<char *> pointers;
};

// Characters that free themselves through a counting destructor, to see who
// frees a cef_string_t and how often.
int freed = 0;
void countingFree(char16 *str)
{
    ++freed;
    delete[] str;
}
cef_string_t countedString(const std::u16string &text)
{
    char16 *chars = new char16[text.size() + 1]();
    std::copy(text.begin(), text.end(), chars);
    return cef_string_t{chars, text.size(), countingFree};
}

class Counted : public virtual CefBaseRefCounted
{
public:
    explicit Counted(bool *deleted) : deleted(deleted) {}

protected:
    ~Counted() override { *deleted = true; }

private:
    bool *deleted;
    IMPLEMENT_REFCOUNTING(Counted);
};

class Base : public virtual CefBaseRefCounted
{
};

class Derived : public Base
{
public:
    explicit Derived(bool *deleted) : deleted(deleted) {}

private:
    ~Derived() override { *deleted = true; }
    bool *deleted;
    IMPLEMENT_REFCOUNTING(Derived);
};

} // namespace

class TestCefBase : public QObject
{
    Q_OBJECT

private slots:
    void commandLineReadsSwitchesAsChromium_data();
    void commandLineReadsSwitchesAsChromium();
    void stringConversionsRoundTrip_data();
    void stringConversionsRoundTrip();
    void invalidUtf8BecomesReplacementCharacter();
    void stringAttachedToStructWritesThrough();
    void settingsCopyIsDeep();
    void stringStructFreedOnceByItsOwner();
    void refPtrCountsReferences();
    void refPtrConvertsToBase();
    void refCountsAreAtomic();
    void executeProcessWithoutTypeReturnsAtOnce_data();
    void executeProcessWithoutTypeReturnsAtOnce();
};

void TestCefBase::commandLineReadsSwitchesAsChromium_data()
{
    QTest::addColumn<QStringList>("arguments"); // after the program
    QTest::addColumn<bool>("hasType");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("plainArguments");

    QTest::newRow("--type=renderer") << QStringList{"--type=renderer"} << true << "renderer" << QStringList();
    QTest::newRow("-type=gpu-process") << QStringList{"-type=gpu-process"} << true << "gpu-process" << QStringList();
    QTest::newRow("capitals --TYPE=renderer") << QStringList{"--TYPE=renderer"} << false << "" << QStringList();
    QTest::newRow("--typeface") << QStringList{"--typeface"} << false << "" << QStringList();
    QTest::newRow("--type without value") << QStringList{"--type"} << true << "" << QStringList();
    QTest::newRow("--type= empty value") << QStringList{"--type="} << true << "" << QStringList();
    QTest::newRow("value holding =") << QStringList{"--type=a=b"} << true << "a=b" << QStringList();
    QTest::newRow("last one wins") << QStringList{"--type=gpu-process", "--x", "--type=renderer"} << true
                                   << "renderer" << QStringList();
    QTest::newRow("after a lone --") << QStringList{"--", "--type=renderer"} << false << ""
                                     << QStringList{"--type=renderer"};
    QTest::newRow("switches after arguments") << QStringList{"page.html", "--type=utility"} << true << "utility"
                                              << QStringList{"page.html"};
    QTest::newRow("lone dash is an argument") << QStringList{"-"} << false << "" << QStringList{"-"};
    QTest::newRow("a--type is an argument") << QStringList{"a--type=renderer"} << false << ""
                                            << QStringList{"a--type=renderer"};
}

void TestCefBase::commandLineReadsSwitchesAsChromium()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, hasType);
    QFETCH(QString, type);
    QFETCH(QStringList, plainArguments);

    // The program path is never read as a switch.
    Argv argv(QStringList{"/opt/--type=zygote/vmpclient"} + arguments);
    CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
    commandLine->InitFromArgv(argv.argc(), argv.argv());

    QCOMPARE(commandLine->HasSwitch("type"), hasType);
    QCOMPARE(commandLine->GetSwitchValue("type").ToQString(), type);
    CefCommandLine::ArgumentList list;
    commandLine->GetArguments(list);
    QStringList actual;
    for (const CefString &argument : list)
        actual << argument.ToQString();
    QCOMPARE(actual, plainArguments);
    QCOMPARE(commandLine->GetProgram().ToQString(), QStringLiteral("/opt/--type=zygote/vmpclient"));
}

void TestCefBase::stringConversionsRoundTrip_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<QString>("text");

    QTest::newRow("ASCII") << QByteArray(".cache") << QStringLiteral(".cache");
    QTest::newRow("Chinese") << QByteArray("视频综合管理平台") << QString::fromUtf8("视频综合管理平台");
    QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x8E\xA5 video") << QString::fromUtf8("🎥 video");
    QTest::newRow("embedded NUL") << QByteArray("a\0b\xC3\xBC", 5) << (QStringLiteral("a") + QChar(0) + "bü");
}

void TestCefBase::stringConversionsRoundTrip()
{
    QFETCH(QByteArray, utf8);
    QFETCH(QString, text);
    const std::string bytes = utf8.toStdString();
    const std::u16string units(reinterpret_cast<const char16_t *>(text.utf16()), static_cast<size_t>(text.size()));

    const CefString fromUtf8(bytes);
    QCOMPARE(fromUtf8.length(), static_cast<size_t>(text.size()));
    QVERIFY(fromUtf8.ToString16() == units);
    QCOMPARE(fromUtf8.ToQString(), text);

    const CefString fromQt(text);
    QVERIFY(fromQt.ToString() == bytes);
    QVERIFY(CefString(units).ToString() == bytes);
    QCOMPARE(CefString(CefString(fromQt).ToString()).ToQString(), text);
    QVERIFY(fromQt == fromUtf8);
}

void TestCefBase::invalidUtf8BecomesReplacementCharacter()
{
    QCOMPARE(CefString(std::string("a\xFF")).ToQString(), QStringLiteral("a") + QChar(0xFFFD));
}

void TestCefBase::stringAttachedToStructWritesThrough()
{
    CefSettings settings;
    QCOMPARE(settings.size, sizeof(cef_settings_t));
    QCOMPARE(settings.cache_path.length, size_t(0));

    CefString(&settings.cache_path) = ".cache";
    // The temporary that wrote it is gone; the struct owns the characters.
    QCOMPARE(settings.cache_path.length, size_t(6));
    QVERIFY(settings.cache_path.dtor);
    QVERIFY(std::u16string(settings.cache_path.str, settings.cache_path.length) == u".cache");
    QCOMPARE(CefString(&settings.cache_path).ToQString(), QStringLiteral(".cache"));

    // A const struct is copied, never attached: writing to the copy leaves it.
    const cef_settings_t &readOnly = settings;
    CefString copy(&readOnly.cache_path);
    copy = "elsewhere";
    QCOMPARE(CefString(&settings.cache_path).ToQString(), QStringLiteral(".cache"));
}

void TestCefBase::settingsCopyIsDeep()
{
    CefSettings original;
    CefString(&original.cache_path) = ".cache";
    original.no_sandbox = 1;
    original.log_severity = LOGSEVERITY_DISABLE;

    CefSettings copied(original);
    CefSettings assigned;
    CefString(&assigned.locale) = "zh-CN";
    assigned = original;
    for (const CefSettings *copy : {&copied, &assigned}) {
        QVERIFY(copy->cache_path.str != original.cache_path.str);
        QCOMPARE(CefString(&copy->cache_path).ToQString(), QStringLiteral(".cache"));
        QCOMPARE(copy->no_sandbox, 1);
        QCOMPARE(copy->log_severity, LOGSEVERITY_DISABLE);
        QCOMPARE(copy->size, sizeof(cef_settings_t));
    }
    QCOMPARE(assigned.locale.length, size_t(0));

    CefString(&original.cache_path) = "changed";
    cef_string_clear(&original.cache_path);
    QCOMPARE(CefString(&copied.cache_path).ToQString(), QStringLiteral(".cache"));
    QCOMPARE(CefString(&assigned.cache_path).ToQString(), QStringLiteral(".cache"));
}

void TestCefBase::stringStructFreedOnceByItsOwner()
{
    freed = 0;
    {
        CefSettings settings;
        settings.cache_path = countedString(u".cache");
        // An attached string reads and goes without freeing.
        { QCOMPARE(CefString(&settings.cache_path).ToQString(), QStringLiteral(".cache")); }
        QCOMPARE(freed, 0);
    }
    QCOMPARE(freed, 1);

    cef_string_t str = countedString(u"old");
    {
        CefString attached(&str);
        attached = "new"; // the old characters go when replaced
    }
    QCOMPARE(freed, 2);
    QCOMPARE(CefString(&str).ToQString(), QStringLiteral("new"));
    cef_string_clear(&str);
    QVERIFY(!str.str && str.length == 0 && !str.dtor);
    cef_string_clear(&str);

    // Borrowed characters are never freed.
    char16 borrowed[] = u"stack";
    cef_string_set(borrowed, 5, &str, false);
    QVERIFY(str.str == borrowed && !str.dtor);
    cef_string_clear(&str);
    QVERIFY(std::u16string(borrowed) == u"stack");
    QCOMPARE(freed, 2);
}

void TestCefBase::refPtrCountsReferences()
{
    bool deleted = false;
    Counted *object = new Counted(&deleted);
    CefRefPtr<Counted> first(object);
    QVERIFY(first->HasOneRef());
    {
        CefRefPtr<Counted> second = first;
        QVERIFY(!object->HasOneRef());
        QVERIFY(object->HasAtLeastOneRef());
        CefRefPtr<Counted> moved(std::move(second));
        QVERIFY(!second);
        QVERIFY(!object->HasOneRef());
    }
    QVERIFY(object->HasOneRef());

    first = first; // self-assignment keeps the object
    first = object;
    QVERIFY(object->HasOneRef());
    QVERIFY(!deleted);

    object->AddRef();
    QVERIFY(!object->Release()); // not the last
    first = nullptr;
    QVERIFY(deleted);

    deleted = false;
    Counted *raw = new Counted(&deleted);
    raw->AddRef();
    QVERIFY(raw->Release()); // the last one deletes
    QVERIFY(deleted);
}

void TestCefBase::refPtrConvertsToBase()
{
    bool deleted = false;
    CefRefPtr<Derived> derived(new Derived(&deleted));
    CefRefPtr<Base> base(derived);
    QVERIFY(base == derived);
    QVERIFY(!derived->HasOneRef());

    CefRefPtr<Base> assigned;
    assigned = derived;
    CefRefPtr<Base> moved(std::move(derived));
    QVERIFY(!derived);
    QVERIFY(!deleted);

    base = nullptr;
    assigned = nullptr;
    QVERIFY(moved->HasOneRef());
    moved = nullptr;
    QVERIFY(deleted);
}

void TestCefBase::refCountsAreAtomic()
{
    bool deleted = false;
    CefRefPtr<Counted> shared(new Counted(&deleted));
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < 1000000; ++i) {
                CefRefPtr<Counted> copy = shared;
            }
        });
    }
    go = true;
    for (std::thread &thread : threads)
        thread.join();
    QVERIFY(!deleted);
    QVERIFY(shared->HasOneRef());
}

void TestCefBase::executeProcessWithoutTypeReturnsAtOnce_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("no arguments") << QStringList();
    QTest::newRow("program only") << QStringList{"vmpclient"};
    QTest::newRow("--typeface") << QStringList{"vmpclient", "--typeface"};
    QTest::newRow("capitals --TYPE=renderer") << QStringList{"vmpclient", "--TYPE=renderer"};
    QTest::newRow("--type= empty") << QStringList{"vmpclient", "--type="};
    QTest::newRow("after a lone --") << QStringList{"vmpclient", "--", "--type=renderer"};
    QTest::newRow("in the program path") << QStringList{"/opt/--type=renderer/vmpclient"};
}

void TestCefBase::executeProcessWithoutTypeReturnsAtOnce()
{
    QFETCH(QStringList, arguments);
    Argv argv(arguments);

    // The browser process creates its own QApplication afterwards; one made
    // here would be in its way.
    QVERIFY(!QCoreApplication::instance());
    QCOMPARE(CefExecuteProcess(CefMainArgs(argv.argc(), argv.argv()), nullptr, nullptr), -1);
    QVERIFY(!QCoreApplication::instance());
}

// No application object: CefExecuteProcess must be seen not to create one.
QTEST_APPLESS_MAIN(TestCefBase)

#include "tst_cefbase.moc"
