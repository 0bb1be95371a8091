// The engine layer's base types: command line, strings and the sub-process
// entry.
#include <QtTest>

#include <vector>

#include "include/cef_app.h"
#include "include/cef_command_line.h"
#include "libcef/runtime/gpu_info.h"

Q_DECLARE_METATYPE(cef::Drawing)

namespace {

// Characters whose destructor counts, to see who frees a cef_string_t and how
// often.
int freed = 0;
cef_string_t countedString(const std::u16string &text)
{
    char16 *chars = new char16[text.size() + 1]();
    std::copy(text.begin(), text.end(), chars);
    return {chars, text.size(), [](char16 *str) { ++freed; delete[] str; }};
}

} // namespace

class TestCefBase : public QObject
{
    Q_OBJECT

private slots:
    void commandLineReadsSwitchesAsChromium_data()
    {
        QTest::addColumn<QByteArrayList>("arguments"); // after the program
        QTest::addColumn<bool>("hasType");
        QTest::addColumn<QString>("type");

        QTest::newRow("--type=renderer") << QByteArrayList{"--type=renderer"} << true << "renderer";
        QTest::newRow("capitals --TYPE=renderer") << QByteArrayList{"--TYPE=renderer"} << false << "";
        QTest::newRow("--typeface") << QByteArrayList{"--typeface"} << false << "";
        QTest::newRow("--type without value") << QByteArrayList{"--type"} << true << "";
        QTest::newRow("after a lone --") << QByteArrayList{"--", "--type=renderer"} << false << "";
        QTest::newRow("switches after arguments") << QByteArrayList{"page.html", "--type=utility"} << true << "utility";
        QTest::newRow("a--type is an argument") << QByteArrayList{"a--type=renderer"} << false << "";
    }

    // The program path, here holding "--type=", is never read as a switch.
    // Without a type CefExecuteProcess returns -1 at once and leaves the
    // application object to the browser process, which makes its own later.
    void commandLineReadsSwitchesAsChromium()
    {
        QFETCH(QByteArrayList, arguments);
        QFETCH(bool, hasType);
        QFETCH(QString, type);

        arguments.prepend("/opt/--type=zygote/vmpclient");
        std::vector<char *> argv;
        for (QByteArray &argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        CefRefPtr<CefCommandLine> commandLine = CefCommandLine::CreateCommandLine();
        commandLine->InitFromArgv(arguments.size(), argv.data());

        QCOMPARE(commandLine->HasSwitch("type"), hasType);
        QCOMPARE(commandLine->GetSwitchValue("type").ToQString(), type);
        if (type.isEmpty()) {
            QCOMPARE(CefExecuteProcess(CefMainArgs(arguments.size(), argv.data()), nullptr, nullptr), -1);
            QCOMPARE(CefExecuteProcess(CefMainArgs(0, &argv.back()), nullptr, nullptr), -1);
            QVERIFY(!QCoreApplication::instance());
        }
    }

    void stringConversionsRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("utf8");
        QTest::addColumn<QString>("text");

        QTest::newRow("outside the BMP") << QByteArray("\xF0\x9F\x8E\xA5 video") << QString::fromUtf8("🎥 video");
        QTest::newRow("embedded NUL") << QByteArray("a\0b\xC3\xBC", 5) << (QStringLiteral("a") + QChar(0) + "bü");
    }

    void stringConversionsRoundTrip()
    {
        QFETCH(QByteArray, utf8);
        QFETCH(QString, text);
        const std::string bytes = utf8.toStdString();
        const std::u16string units(reinterpret_cast<const char16_t *>(text.utf16()), size_t(text.size()));

        QVERIFY(CefString(bytes).ToString16() == units);
        QCOMPARE(CefString(bytes).ToQString(), text);
        QVERIFY(CefString(text).ToString() == bytes);
    }

    // As the program fills CefSettings: written through an attached CefString,
    // freed by cef_string_clear or by the struct's owner, exactly once.
    void stringAttachedToStruct()
    {
        freed = 0;
        {
            CefSettings settings;
            CefString(&settings.cache_path) = ".cache"; // the temporary goes, the struct keeps the characters
            QVERIFY(std::u16string(settings.cache_path.str, settings.cache_path.length) == u".cache");
            cef_string_clear(&settings.cache_path);
            QVERIFY(!settings.cache_path.str && settings.cache_path.length == 0 && !settings.cache_path.dtor);
            settings.cache_path = countedString(u".cache");
            QCOMPARE(CefString(&settings.cache_path).ToQString(), QStringLiteral(".cache")); // reads, frees nothing
            QCOMPARE(freed, 0);
        }
        QCOMPARE(freed, 1);

        cef_string_t str = countedString(u"old");
        CefString(&str).FromString(std::string("new")); // the old characters go when replaced
        QCOMPARE(freed, 2);
        QCOMPARE(CefString(&str).ToQString(), QStringLiteral("new"));
        char16 borrowed[] = u"stack"; // borrowed characters are never freed
        cef_string_set(borrowed, 5, &str, false);
        cef_string_clear(&str);
        QVERIFY(std::u16string(borrowed) == u"stack");
        QCOMPARE(freed, 2);
    }

    // A software OpenGL draws with the software scene graph unless WebGL was
    // asked for; a GPU always through OpenGL, whatever was asked.
    void drawingChosenByRenderer_data()
    {
        QTest::addColumn<QByteArray>("renderer");
        QTest::addColumn<bool>("webgl");
        QTest::addColumn<cef::Drawing>("drawing");
        const QByteArray llvmpipe("llvmpipe (LLVM 15.0.6, 256 bits)");
        QTest::newRow("llvmpipe") << llvmpipe << false << cef::Drawing::kSoftware;
        QTest::newRow("llvmpipe, WebGL asked") << llvmpipe << true << cef::Drawing::kSoftwareOpenGl;
        QTest::newRow("Gallium softpipe") << QByteArray("Gallium 0.4 on softpipe") << false << cef::Drawing::kSoftware;
        QTest::newRow("Windows' own, WebGL") << QByteArray("GDI Generic") << true << cef::Drawing::kSoftwareOpenGl;
        QTest::newRow("Radeon, built with LLVM") << QByteArray("AMD Radeon (LLVM 15.0.6)") << true << cef::Drawing::kGpu;
        QTest::newRow("Intel") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false << cef::Drawing::kGpu;
        // Nothing else can draw without OpenGL, and no WebGL comes of asking.
        QTest::newRow("no OpenGL, WebGL") << QByteArray() << true << cef::Drawing::kSoftware;
    }

    void drawingChosenByRenderer()
    {
        QFETCH(QByteArray, renderer);
        QFETCH(bool, webgl);
        QFETCH(cef::Drawing, drawing);
        QCOMPARE(cef::ChooseDrawing(renderer, webgl), drawing);
    }
};

// No application object: CefExecuteProcess must be seen not to create one.
QTEST_APPLESS_MAIN(TestCefBase)

#include "tst_cefbase.moc"
