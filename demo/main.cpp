#include "platformserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t quitRequested = 0;

void requestQuit(int)
{
    quitRequested = 1;
}

void fail(const QString &message)
{
    std::fprintf(stderr, "vmp-demo-platform: %s\n", qPrintable(message));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vmp-demo-platform"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Serves a stand-in for the video management platform, for demos and tests."));
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

    // Qt may not be called from a signal handler, so the handler only raises
    // a flag, which the event loop looks at a few times a second.
    std::signal(SIGINT, requestQuit);
    std::signal(SIGTERM, requestQuit);
    QTimer quitPoll;
    QObject::connect(&quitPoll, &QTimer::timeout, &app, [] {
        if (quitRequested)
            QCoreApplication::quit();
    });
    quitPoll.start(200);

    std::printf("Platform listening on %s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    const int status = app.exec();
    std::printf("Platform stopped.\n");
    return status;
}
