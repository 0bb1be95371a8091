#ifndef RAWSERVER_H
#define RAWSERVER_H

#include <QTcpServer>

// A server for what no HTTP server can be made to do. It reads what a client
// sends and answers with bytes that are not HTTP, with nothing, or with the
// head and part of the body of a download that stays open until fail()
// breaks it off (later attempts are cut at once), so that the download is
// seen while it runs and then seen to fail. It works in the thread that made
// it, while that thread's event loop runs.
class RawServer : public QTcpServer
{
public:
    enum class Answer { Garbage, Nothing, BrokenDownload };

    explicit RawServer(Answer answer) : answer(answer) {}

    // Connections it has answered so far.
    int served() const { return servedCount; }
    void fail();

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    const Answer answer;
    bool failing = false;
    int servedCount = 0;
};

#endif // RAWSERVER_H
