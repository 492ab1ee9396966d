#pragma once

#include "recorder/IcyStream.h"
#include "recorder/StreamHeaderSkip.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <memory>

class SongFiles;
class SongSplitter;

class QTcpSocket;

// Why a recording did not start or stopped by itself.
enum class RecordingFailure {
    Socket, // the connection failed or broke
    BadPort, // the port text is not a port number
    Send, // the request could not be sent
    FileOpen, // the target file cannot be created (folder missing or not writable)
    FileWrite, // writing failed, a full disk for instance; what was written stays
    Refused, // the server answered, but not with a stream
    StreamFault, // the stream broke its own rules (metadata); what was written stays
};

// What to record and where.
struct RecordingPlan
{
    QString host;
    QString port;
    // The path asked for, with a Host line; empty: the 16-byte request for "/" that
    // stream servers of the plain kind answer.
    QByteArray path;
    bool perSong = false;
    // One file for the whole stream: this file, or, when empty, "Opname <station> <time>"
    // in folder.
    QString file;
    QString folder; // per song: the station's folder is made below it
    QString station; // empty: the stream's own name (icy-name), else the host
    QString address; // the station's address, for the tags
    bool keepPartial = true; // keep the first and last song, with the marks
    QString beginMark;
    QString endMark;
    QDateTime started = QDateTime::currentDateTime();
};

// Why a recording per song goes into one file after all.
enum class OneFileReason {
    NoTitles, // the station sends no in-stream titles
    UnknownFormat, // audio of a type whose frames are not known
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
    // and port. The file is made once the server's header has arrived, under a free
    // name: an existing file is never overwritten.
    void start(const QString &host, const QString &port, const QString &path);
    void start(const RecordingPlan &plan);
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
    // The socket's words for the last connection failure, or the server's status line.
    QString socketErrorText() const { return m_socketError; }
    // Every file finished so far, by its final name.
    QStringList files() const;
    // The station's name as the files are named: the plan's, the stream's or the host.
    QString stationName() const { return m_station; }
    IcyDemuxer::Fault streamFault() const { return m_fault; }
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
    // A file was begun at path.
    void fileStarted(const QString &path);
    // A recording per song goes into one file; why.
    void oneFile(OneFileReason reason);

private:
    enum class Phase { Idle, Connecting, Recording };

    void onConnected();
    void onSocketError();
    void onDisconnected();
    void onDataArrival();
    bool takeChunk();
    bool beginBody();
    bool openWholeFile(const QString &path, const QString &contentType);
    bool writeBody(QByteArrayView body);
    void closeAll();
    void fail(RecordingFailure failure);

    QTcpSocket *m_socket = nullptr;
    QFile m_file;
    StreamHeaderSkip m_header;
    RecordingPlan m_plan;
    QString m_station;
    std::unique_ptr<SongSplitter> m_splitter;
    std::unique_ptr<SongFiles> m_songs;
    QStringList m_files;
    QString m_socketError;
    IcyDemuxer::Fault m_fault = IcyDemuxer::Fault::None;
    Phase m_phase = Phase::Idle;
    bool m_errored = false;
    bool m_drainQueued = false;
    qint64 m_written = 0;
    QString m_fileError;
};
