#pragma once
// A line server for SCPI over a raw TCP socket: one client at a time (a second one gets a refusal
// line and is closed), newline-terminated lines handed out one by one. The next line is handed
// out only after the previous one was finished (LineDone), and only while the client takes its
// replies, so a client that floods the socket or never reads costs bounded memory: unread input
// stays in the kernel's buffers. A client that has finished sending (a shell pipe into
// "nc -N") still gets the replies to its last lines before the connection is closed. Knows
// nothing of SCPI or of the supply.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;
class TScpiListener;

class TScpiServer : public QObject {
    Q_OBJECT
public:
    // Longest line taken; a longer one is dropped up to its end and reported (fOnOverlong).
    static constexpr qsizetype kMaxLine = 4096;
    // Replies not yet taken by the client above which no further line is handed out.
    static constexpr qsizetype kMaxUnsent = 256 * 1024;

    explicit TScpiServer(QObject* AParent = nullptr);
    ~TScpiServer() override;

    // False with AError set when the address cannot be bound.
    bool Listen(const QHostAddress& AAddress, quint16 APort, QString& AError);
    QHostAddress Address() const;
    quint16 Port() const;
    // Stops listening and drops the client.
    void Close();

    // The reply to the current line (a newline is added).
    void Reply(const QString& AText);
    // The current line is finished: the next one may come.
    void LineDone();

    // A line of the client, without its terminator (CR LF or LF).
    std::function<void(const QString& ALine)> fOnLine;
    // A line longer than kMaxLine was dropped.
    std::function<void()> fOnOverlong;
    // A client came ("127.0.0.1:40312") or went; a second one was refused.
    std::function<void(const QString& APeer)> fOnConnected;
    std::function<void(const QString& APeer)> fOnDisconnected;
    std::function<void(const QString& APeer)> fOnRefused;

private:
    void Accept(qintptr ADescriptor);
    void ReadInput();
    void Flush();
    void DropClient();
    // Hands out the next whole line when nothing is being worked on.
    void Next();
    void ScheduleNext();

    TScpiListener* fListener;
    int fFd = -1;
    QSocketNotifier* fReadNote = nullptr;
    QSocketNotifier* fWriteNote = nullptr;
    QString fPeer;
    QByteArray fIn;
    QByteArray fOut;
    bool fInputEnded = false;  // the client has finished sending
    bool fWriteDead = false;   // the client can no longer take replies
    bool fBusy = false;        // a line was handed out and is not finished
    bool fDropping = false;    // inside an over-long line: dropping up to its end
    bool fNextPosted = false;
};
