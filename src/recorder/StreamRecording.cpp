#include "StreamRecording.h"

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
    stop();
    bool ok = false;
    const uint number = port.trimmed().toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        m_errored = true;
        Q_EMIT failed(RecordingFailure::BadPort, false);
        return;
    }
    m_file.setFileName(path);
    m_written = 0;
    m_fileError.clear();
    m_phase = Phase::Connecting;
    m_socket->connectToHost(host, quint16(number));
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
    // Truncate: a longer recording of the same name must not keep its old tail.
    // Unbuffered: every chunk reaches the system at once, so a full disk shows at the
    // chunk that met it and a server that closes leaves nothing behind in a buffer.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        m_fileError = m_file.errorString();
        fail(RecordingFailure::FileOpen);
        Q_EMIT attemptEnded();
        return;
    }
    if (m_socket->write(kRequest.data(), kRequest.size()) != kRequest.size()) {
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
    const QByteArrayView body = m_header.take(chunk);
    if (body.isEmpty())
        return true;
    const qint64 n = m_file.write(body.data(), body.size());
    if (n > 0)
        m_written += n;
    if (n != body.size()) {
        m_fileError = m_file.errorString();
        fail(RecordingFailure::FileWrite);
        return false;
    }
    return true;
}

void StreamRecording::closeAll()
{
    // The phase goes first: abort() reports the state change at once, and those
    // signals must find the recording over.
    m_phase = Phase::Idle;
    m_file.close();
    m_socket->abort();
    m_header.reset();
}

void StreamRecording::fail(RecordingFailure failure)
{
    const bool wasConnecting = m_phase == Phase::Connecting;
    closeAll();
    Q_EMIT failed(failure, wasConnecting);
}
