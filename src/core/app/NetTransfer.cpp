#include "app/NetTransfer.h"

#include "app/TextCodec.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

NetTransfer::NetTransfer(QNetworkAccessManager *manager, QObject *parent)
    : Transfer(parent)
    , m_manager(manager)
{ }

NetTransfer::~NetTransfer()
{
    // Replies belong to the manager, which may live on; make sure none reports back
    // into this object once it is gone.
    while (!m_pending.isEmpty())
        take(m_pending.begin());
}

quint64 NetTransfer::openUrl(const QUrl &url, QObject *context, Callback done)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Norvale/3.0"));
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

    const quint64 id = m_nextId++;
    QNetworkReply *reply = m_manager->get(request);
    Pending pending {reply, QPointer<QObject>(context), context != nullptr, std::move(done), {}};
    if (context)
        pending.contextGone = connect(context, &QObject::destroyed, this, [this, id] { abort(id); });
    m_pending.insert(id, std::move(pending));
    connect(reply, &QNetworkReply::finished, this, [this, id] { finish(id); });
    // The declared length is known before the body, the real one only while it comes.
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, id] { checkSize(id); });
    connect(reply, &QNetworkReply::readyRead, this, [this, id] { checkSize(id); });
    return id;
}

void NetTransfer::abort(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it != m_pending.end())
        take(it);
}

NetTransfer::Pending NetTransfer::take(QHash<quint64, Pending>::iterator it)
{
    Pending pending = std::move(*it);
    m_pending.erase(it);
    disconnect(pending.contextGone);
    pending.reply->disconnect(this);
    pending.reply->abort();
    pending.reply->deleteLater();
    return pending;
}

void NetTransfer::checkSize(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    QNetworkReply *reply = it->reply;
    const qint64 declared = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    if (declared <= maxBodyBytes() && reply->bytesAvailable() <= maxBodyBytes())
        return;
    const QUrl url = reply->url();
    Pending pending = take(it);
    TransferResult result;
    result.error = TransferError::TooLarge;
    result.url = url;
    result.errorText = QStringLiteral("reply larger than %1 bytes").arg(maxBodyBytes());
    if (pending.done && !(pending.hasContext && !pending.context))
        pending.done(result);
}

void NetTransfer::finish(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    // Read everything before take() aborts the reply.
    QNetworkReply *reply = it->reply;
    TransferResult result;
    result.url = reply->url();
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = reply->error();
    if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        // setTransferTimeout() ends a stalled reply through abort(), which reports "cancelled".
        result.error = TransferError::Timeout;
    } else if (result.httpStatus >= 400) {
        result.error = TransferError::HttpStatus;
    } else if (error != QNetworkReply::NoError) {
        result.error = TransferError::Network;
    } else if (reply->bytesAvailable() > maxBodyBytes()) {
        result.error = TransferError::TooLarge;
    }
    if (result.error == TransferError::HttpStatus)
        result.errorText = QStringLiteral("HTTP %1").arg(result.httpStatus);
    else if (result.error == TransferError::TooLarge)
        result.errorText = QStringLiteral("reply larger than %1 bytes").arg(maxBodyBytes());
    else if (result.error != TransferError::None)
        result.errorText = reply->errorString();
    else {
        result.bytes = reply->readAll();
        result.body = decodeUtf8OrWindows1252(result.bytes);
        result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    }

    Pending pending = take(it);
    if (pending.hasContext && !pending.context)
        return; // the window that asked is gone: nobody wants this reply
    if (pending.done)
        pending.done(result);
}
