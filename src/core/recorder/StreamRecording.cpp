#include "recorder/StreamRecording.h"

#include "recorder/RecordingName.h"
#include "recorder/RecordingTags.h"
#include "recorder/SongFiles.h"
#include "recorder/SongSplitter.h"

#include <QDir>
#include <QTcpSocket>
#include <QTimer>

StreamRecording::StreamRecording(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::connected, this, &StreamRecording::onConnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &StreamRecording::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &StreamRecording::onDisconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &StreamRecording::onDataArrival);
}

StreamRecording::~StreamRecording()
{
    // The socket's signals must not reach a half-destroyed object.
    m_socket->disconnect(this);
    closeAll();
}

void StreamRecording::start(const QString &host, const QString &port, const QString &path)
{
    RecordingPlan plan;
    plan.host = host;
    plan.port = port;
    plan.file = path;
    start(plan);
}

void StreamRecording::start(const RecordingPlan &plan)
{
    stop();
    bool ok = false;
    const uint number = plan.port.trimmed().toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        m_errored = true;
        Q_EMIT failed(RecordingFailure::BadPort, false);
        return;
    }
    m_plan = plan;
    m_file.setFileName(plan.file);
    m_files.clear();
    m_written = 0;
    m_fileError.clear();
    m_socketError.clear();
    m_fault = IcyDemuxer::Fault::None;
    m_phase = Phase::Connecting;
    m_socket->connectToHost(plan.host, quint16(number));
}

QStringList StreamRecording::files() const
{
    return m_songs ? m_files + m_songs->files() : m_files;
}

void StreamRecording::stop()
{
    const bool wasConnecting = m_phase == Phase::Connecting;
    m_errored = false;
    closeAll();
    if (wasConnecting)
        Q_EMIT attemptEnded();
}

int StreamRecording::stateCode() const
{
    if (m_errored)
        return 9;
    switch (m_socket->state()) {
    case QAbstractSocket::UnconnectedState:
        return 0;
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return 7;
    case QAbstractSocket::ClosingState:
        return 8;
    }
    return 0;
}

void StreamRecording::onConnected()
{
    if (m_phase != Phase::Connecting)
        return;
    QByteArray request = kRequest.toByteArray();
    if (!m_plan.path.isEmpty()) {
        // Stations behind a shared server need the Host line; titles come only when asked.
        request = "GET " + m_plan.path + " HTTP/1.0\r\nHost: " + m_plan.host.toUtf8() + ':' + m_plan.port.toUtf8()
            + "\r\nUser-Agent: Norvale/3.0\r\n" + (m_plan.perSong ? "Icy-MetaData: 1\r\n" : "") + "\r\n";
    } else if (m_plan.perSong) {
        request = "GET / HTTP/1.0\r\nIcy-MetaData: 1\r\n\r\n";
    }
    if (m_socket->write(request) != request.size()) {
        fail(RecordingFailure::Send);
        Q_EMIT attemptEnded();
        return;
    }
    m_phase = Phase::Recording;
    Q_EMIT recordingStarted();
    Q_EMIT attemptEnded();
}

void StreamRecording::onSocketError()
{
    if (m_phase == Phase::Idle)
        return;
    // A server ending the stream is the normal end of a recording, not a failure; the
    // disconnected signal that follows finishes the file.
    if (m_phase == Phase::Recording && m_socket->error() == QAbstractSocket::RemoteHostClosedError)
        return;
    m_socketError = m_socket->errorString();
    const bool wasConnecting = m_phase == Phase::Connecting;
    m_errored = true;
    fail(RecordingFailure::Socket);
    if (wasConnecting)
        Q_EMIT attemptEnded();
}

void StreamRecording::onDisconnected()
{
    if (m_phase != Phase::Recording)
        return;
    // The socket keeps what it received before the close; it belongs in the file.
    while (m_phase == Phase::Recording && m_socket->bytesAvailable() > 0) {
        if (!takeChunk())
            return;
    }
    closeAll();
    Q_EMIT serverClosed();
}

void StreamRecording::onDataArrival()
{
    if (m_phase != Phase::Recording || !takeChunk())
        return;
    // The socket announces new bytes only once; what stays queued beyond the chunk is
    // taken by notifications of our own.
    if (m_socket->bytesAvailable() > 0 && !m_drainQueued) {
        m_drainQueued = true;
        QTimer::singleShot(0, this, [this] {
            m_drainQueued = false;
            onDataArrival();
        });
    }
}

bool StreamRecording::takeChunk()
{
    const QByteArray chunk = m_socket->read(kChunkSize);
    const bool inHeader = m_header.inHeader();
    const QByteArrayView body = m_header.take(chunk);
    if (inHeader && !m_header.inHeader() && !beginBody())
        return false;
    return body.isEmpty() || writeBody(body);
}

bool StreamRecording::beginBody()
{
    const IcyHeader header = IcyHeader::parse(m_header.header());
    // The plain request is answered by servers of one kind, whose status line varies;
    // a full request gets a full answer, and anything but 200 is no stream.
    if (!m_plan.path.isEmpty() && !header.isOk()) {
        m_socketError = QString::fromUtf8(header.statusLine);
        fail(RecordingFailure::Refused);
        return false;
    }
    m_station = !m_plan.station.isEmpty() ? m_plan.station : !header.name.isEmpty() ? header.name : m_plan.host;
    const std::optional<AudioCodec> codec = codecForContentType(header.contentType);
    const QString extension = codec == AudioCodec::Adts ? QStringLiteral("aac") : QStringLiteral("mp3");
    // "Opname <station> <time>.mp3" in folder, ".aac" for AAC.
    const auto wholeName = [&](const QString &folder) {
        QString path = proposedRecordingPath(folder, m_station, m_plan.started.time(), QString());
        return codec == AudioCodec::Adts ? path.chopped(3) + extension : path;
    };
    if (!m_plan.perSong)
        return openWholeFile(m_plan.file.isEmpty() ? wholeName(m_plan.folder) : m_plan.file, header.contentType);
    const QString folder = QDir(m_plan.folder).filePath(safeFileName(m_station));
    if (!codec || header.metaint < 0) {
        Q_EMIT oneFile(codec ? OneFileReason::NoTitles : OneFileReason::UnknownFormat);
        if (!QDir().mkpath(folder)) {
            m_fileError = QStringLiteral("cannot create the folder");
            m_file.setFileName(folder);
            fail(RecordingFailure::FileOpen);
            return false;
        }
        return openWholeFile(wholeName(folder), header.contentType);
    }
    m_splitter = std::make_unique<SongSplitter>(*codec, header.metaint);
    m_songs = std::make_unique<SongFiles>(SongFiles::Setup {folder, m_station, m_plan.address, extension,
                                                            m_plan.keepPartial, m_plan.beginMark, m_plan.endMark});
    if (m_splitter->fault() != IcyDemuxer::Fault::None) {
        m_fault = m_splitter->fault();
        fail(RecordingFailure::StreamFault);
        return false;
    }
    return true;
}

bool StreamRecording::openWholeFile(const QString &path, const QString &contentType)
{
    // Never over an existing file. Unbuffered: every chunk reaches the system at once,
    // so a full disk shows at the chunk that met it and a server that closes leaves
    // nothing behind in a buffer.
    if (!createNewFile(m_file, path)) {
        m_fileError = m_file.errorString();
        fail(RecordingFailure::FileOpen);
        return false;
    }
    Q_EMIT fileStarted(m_file.fileName());
    if (!codecForContentType(contentType))
        return true;
    // A tag in front leaves every audio byte as the station sent it.
    return writeBody(renderId3v2(
        {{},
         {},
         m_station,
         m_plan.started,
         m_plan.address.isEmpty() ? QStringLiteral("http://%1:%2/").arg(m_plan.host, m_plan.port) : m_plan.address}));
}

bool StreamRecording::writeBody(QByteArrayView body)
{
    if (!m_splitter) {
        const qint64 n = m_file.write(body.data(), body.size());
        if (n > 0)
            m_written += n;
        if (n == body.size())
            return true;
        m_fileError = m_file.errorString();
        fail(RecordingFailure::FileWrite);
        return false;
    }
    QList<SongSplitter::Event> events;
    const bool ok = m_splitter->feed(body, events);
    for (const SongSplitter::Event &event : std::as_const(events)) {
        const qint64 before = m_songs->bytesWritten();
        const bool written = event.kind == SongSplitter::Event::Kind::Song
            ? m_songs->startSong(event.title, QDateTime::currentDateTime())
            : m_songs->write(event.bytes);
        m_written += m_songs->bytesWritten() - before;
        if (!written) {
            m_fileError = m_songs->errorText();
            m_file.setFileName(m_songs->path());
            fail(event.kind == SongSplitter::Event::Kind::Song ? RecordingFailure::FileOpen
                                                               : RecordingFailure::FileWrite);
            return false;
        }
        if (event.kind == SongSplitter::Event::Kind::Song && !m_songs->path().isEmpty())
            Q_EMIT fileStarted(m_songs->path());
    }
    if (!ok) {
        m_fault = m_splitter->fault();
        fail(RecordingFailure::StreamFault);
    }
    return ok;
}

void StreamRecording::closeAll()
{
    // The phase goes first: abort() reports the state change at once, and those
    // signals must find the recording over.
    m_phase = Phase::Idle;
    if (m_file.isOpen()) {
        m_file.close();
        m_files.append(m_file.fileName());
    }
    if (m_songs) {
        m_songs->finish();
        m_files += m_songs->files();
    }
    m_songs.reset();
    m_splitter.reset();
    m_socket->abort();
    m_header.reset();
}

void StreamRecording::fail(RecordingFailure failure)
{
    const bool wasConnecting = m_phase == Phase::Connecting;
    // The station's fault shows in the status line as a broken connection does.
    m_errored = m_errored || failure == RecordingFailure::Refused || failure == RecordingFailure::StreamFault;
    closeAll();
    Q_EMIT failed(failure, wasConnecting);
}
