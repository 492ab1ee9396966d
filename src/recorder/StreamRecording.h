#pragma once

#include "StreamHeaderSkip.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QString>

class QTcpSocket;

// Why a recording did not start or stopped by itself.
enum class RecordingFailure {
    Socket, // the connection failed or broke
    BadPort, // the port text is not a port number
    Send, // the request could not be sent
    FileOpen, // the target file cannot be created (folder missing or not writable)
    FileWrite, // writing failed, a full disk for instance; what was written stays
};

// One stream recording without any widget: connects to a stream server, sends the
// 16-byte request, skips the response header and appends every later byte to the file.
// Everything runs on the calling thread's event loop: start() returns at once and the
// outcome arrives as signals, so the window stays responsive while connecting.
class StreamRecording final : public QObject
{
    Q_OBJECT
public:
    // The request stream servers of this kind answer: no Host line, always "/".
    static constexpr QByteArrayView kRequest {"GET / HTTP/1.0\n\n"};
    // Bytes taken from the socket per data notification; the rest waits for the next.
    static constexpr qint64 kChunkSize = 1024;

    explicit StreamRecording(QObject *parent = nullptr);
    ~StreamRecording() override;

    // Closes whatever an earlier recording or failure left open, then connects to host
    // and port. The file at path is created or emptied only once the connection stands.
    void start(const QString &host, const QString &port, const QString &path);
    // Closes the file (everything written stays) and the socket and arms the header
    // skip again. Harmless when nothing is open.
    void stop();

    // The socket state as the status line numbers it: 0 closed, 1 open, 2 listening,
    // 3 connection pending, 4 resolving host, 5 host resolved, 6 connecting,
    // 7 connected, 8 closing, 9 error (until the next start or stop).
    int stateCode() const;
    bool isConnecting() const { return m_phase == Phase::Connecting; }
    bool isRecording() const { return m_phase == Phase::Recording; }
    qint64 bytesWritten() const { return m_written; }
    QString path() const { return m_file.fileName(); }
    // The system's words for the last file failure ("No space left on device").
    QString fileErrorText() const { return m_fileError; }
    const StreamHeaderSkip &headerSkip() const { return m_header; }

Q_SIGNALS:
    // Connected, file opened, request sent.
    void recordingStarted();
    // A connect that was under way is over: connected, failed or stopped.
    void attemptEnded();
    // Socket and file are already closed when this arrives. whileConnecting: the
    // failure ended a connect attempt.
    void failed(RecordingFailure failure, bool whileConnecting);
    // The server ended the stream; every byte it sent is in the closed file.
    void serverClosed();

private:
    enum class Phase { Idle, Connecting, Recording };

    void onConnected();
    void onSocketError();
    void onDisconnected();
    void onDataArrival();
    bool takeChunk();
    void closeAll();
    void fail(RecordingFailure failure);

    QTcpSocket *m_socket = nullptr;
    QFile m_file;
    StreamHeaderSkip m_header;
    Phase m_phase = Phase::Idle;
    bool m_errored = false;
    bool m_drainQueued = false;
    qint64 m_written = 0;
    QString m_fileError;
};
