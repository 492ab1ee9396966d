#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>

enum class TransferError {
    None,
    Network, // no connection, host not found, refused, TLS
    Timeout,
    HttpStatus, // the server answered 4xx/5xx
    Aborted,
    TooLarge, // the body passed the transfer's limit; nothing of it is kept
};

// Body limits per kind of request. Replies come from a server, or anyone on a plain-HTTP
// path, and are held whole in memory, so each kind gets what it can legitimately need.
namespace TransferLimit {
constexpr qint64 kList = 4 * 1024 * 1024; // station, country and search lists
constexpr qint64 kShortReply = 64 * 1024; // play reports, address questions
} // namespace TransferLimit

struct TransferResult
{
    TransferError error = TransferError::None;
    int httpStatus = 0;
    QString body; // UTF-8, or Windows-1252 when the bytes are not valid UTF-8
    QString errorText;
    QUrl url;
    QByteArray bytes; // the body as received, for pictures
    QByteArray contentType;

    bool ok() const { return error == TransferError::None; }
};

// Fetches directory texts without blocking the UI thread. Several requests may run
// at once (the country chooser may fetch while the station-list timer ticks); each
// one's callback runs on the UI thread. A request whose context object is destroyed is
// aborted then, so it neither calls back nor holds a connection until its time-out.
class Transfer : public QObject
{
    Q_OBJECT
public:
    using Callback = std::function<void(const TransferResult &)>;
    using QObject::QObject;
    ~Transfer() override = default;

    // Returns an id for abort(); done is called exactly once unless aborted or the
    // context is destroyed first.
    virtual quint64 openUrl(const QUrl &url, QObject *context, Callback done) = 0;
    // The callback of an aborted request is never called.
    virtual void abort(quint64 id) = 0;

    // A reply whose body would pass this many bytes fails with TooLarge. Main sets it per
    // instance, after the kind of request each one carries.
    void setMaxBodyBytes(qint64 bytes) { m_maxBodyBytes = bytes; }
    qint64 maxBodyBytes() const { return m_maxBodyBytes; }

private:
    qint64 m_maxBodyBytes = TransferLimit::kList;
};
