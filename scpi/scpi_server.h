#pragma once
// A line server for SCPI over a raw TCP socket: one client at a time, newline-terminated lines
// handed out one by one. A client that comes while another is served waits up to kSlotWait for
// the place to free, then gets a refusal line and is closed. The next line is handed out only
// after the previous one was finished (LineDone), and only while the client takes its replies,
// so a client that floods the socket or never reads costs bounded memory: unread input stays in
// the kernel's buffers. A client that has finished sending (a shell pipe into "nc -N") still gets
// the replies to its lines before the connection is closed; a client that has gone (reset, or
// closed so that replies can no longer reach it) has its unread input discarded. Input that
// ends without a line end is never handed out as a line. Knows nothing of SCPI or the supply.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
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
    // How long a new client waits for the place, and how many may wait at once.
    static constexpr int kSlotWaitMs = 2000;
    static constexpr size_t kMaxWaiting = 8;

    explicit TScpiServer(QObject* AParent = nullptr);
    ~TScpiServer() override;

    // False with AError set when the address cannot be bound.
    bool Listen(const QHostAddress& AAddress, quint16 APort, QString& AError);
    QHostAddress Address() const;
    quint16 Port() const;
    // A client that sends nothing for this long while nothing of it is being worked on loses
    // its place (0: never).
    void SetIdleTimeout(int ASeconds);
    // Stops listening and drops the client and those waiting.
    void Close();

    // The reply to the current line (a newline is added); dropped when its client has gone.
    void Reply(const QString& AText);
    // The current line is finished: the next one may come.
    void LineDone();

    // A line of the client, without its terminator (CR LF or LF); AClient numbers the clients.
    std::function<void(const QString& ALine, uint64_t AClient)> fOnLine;
    // A line of client AClient longer than kMaxLine was dropped.
    std::function<void(uint64_t AClient)> fOnOverlong;
    // The client of the line being worked on has gone: nothing more of it is carried out.
    std::function<void()> fOnGone;
    // The client ended its input with a fragment without a line end (dropped); the text returned
    // is sent to it, when not empty and when it can still read.
    std::function<QString(const QString& AFragment)> fOnUnterminated;
    // One line for the log: a client came, left, was refused or timed out.
    std::function<void(const QString& AText)> fOnEvent;

private:
    struct TWaiting {
        int Fd = -1;
        QString Peer;
        qint64 Since = 0;
    };

    void Accept(qintptr ADescriptor);
    void Adopt(int AFd, const QString& APeer);
    void Refuse(int AFd, const QString& APeer);
    void RefuseExpired();
    void ReadInput();
    void Flush();
    void Gone();
    void DropClient();
    void Event(const QString& AText);
    // Hands out the next whole line when nothing is being worked on.
    void Next();
    void ScheduleNext();
    void RestartIdle();

    TScpiListener* fListener;
    int fFd = -1;
    uint64_t fClient = 0;      // number of the client served (counts up)
    uint64_t fLineClient = 0;  // the client whose line is being worked on
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
    std::deque<TWaiting> fWaiting;
    QTimer fWaitTimer;
    QTimer fIdleTimer;
    int fIdleSeconds = 0;
};
