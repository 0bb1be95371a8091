#include "controlsignals.h"
#include "platformserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace {

void say(const QString &message)
{
    std::printf("%s\n", qPrintable(message));
    std::fflush(stdout);
}

void fail(const QString &message)
{
    std::fprintf(stderr, "vmp-demo-platform: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    // Before anything starts a thread, so that the signals reach only the
    // loop at the end.
    controlsignals::block();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vmp-demo-platform"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Serves a stand-in for the video management platform, for demos, tests and benchmarks.\n"
        "SIGUSR1 stops serving (connections are closed and new ones refused), SIGUSR2 serves\n"
        "again on the same address and port, SIGINT and SIGTERM end the program."));
    parser.addHelpOption();
    const QCommandLineOption addressOption(QStringLiteral("address"),
                                           QStringLiteral("IPv4 or IPv6 address to listen on (default 127.0.0.2)."),
                                           QStringLiteral("A"), QStringLiteral("127.0.0.2"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port (default 80)."),
                                        QStringLiteral("P"), QStringLiteral("80"));
    const QCommandLineOption videoOption(QStringLiteral("video"), QStringLiteral("File served as /video.mp4."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption streamOption(
        QStringLiteral("stream"), QStringLiteral("Fragmented MP4 that the cameras of /cameras play, as /stream.mp4."),
        QStringLiteral("FILE"));
    parser.addOptions({addressOption, portOption, videoOption, streamOption});
    parser.process(app);

    QHostAddress address;
    if (!address.setAddress(parser.value(addressOption))) {
        fail(QStringLiteral("'%1' is not an IP address.").arg(parser.value(addressOption)));
        return 1;
    }
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        fail(QStringLiteral("'%1' is not a port number.").arg(parser.value(portOption)));
        return 1;
    }

    PlatformServer server;
    for (const auto &[option, setFile] : {std::make_pair(&videoOption, &PlatformServer::setVideoFile),
                                          std::make_pair(&streamOption, &PlatformServer::setStreamFile)}) {
        if (!parser.isSet(*option))
            continue;
        const QFileInfo file(parser.value(*option));
        if (!file.isFile() || !file.isReadable()) {
            fail(QStringLiteral("cannot read the file '%1'.").arg(file.filePath()));
            return 1;
        }
        (server.*setFile)(file.absoluteFilePath());
    }

    // The query is left out because it carries the password, and whatever
    // could steer the terminal stays escaped.
    QObject::connect(&server, &PlatformServer::requestReceived, [](const PlatformServer::Request &request) {
        const QByteArray path = request.path.toPercentEncoding("/%:@!$&'()*+,;=-._~");
        std::printf("%s %s\n", request.method.toPercentEncoding().constData(), path.constData());
        std::fflush(stdout);
    });

    if (!server.listen(address, quint16(port))) {
        fail(server.errorString() + QStringLiteral("; choose another address or port with --address and --port."));
        return 1;
    }
    say(QStringLiteral("Platform listening on %1").arg(server.baseUrl()));

    for (;;) {
        switch (controlsignals::wait()) {
        case controlsignals::Command::StopServing:
            server.stop();
            say(QStringLiteral("Platform stopped serving."));
            break;
        case controlsignals::Command::Serve:
            if (server.listen(server.serverAddress(), server.serverPort()))
                say(QStringLiteral("Platform listening on %1").arg(server.baseUrl()));
            else
                fail(server.errorString());
            break;
        case controlsignals::Command::Quit:
            server.stop();
            say(QStringLiteral("Platform stopped."));
            return 0;
        }
    }
}
