#include "NetTransfer.h"

#include "TextCodec.h"

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
    for (const Pending &p : std::as_const(m_pending)) {
        p.reply->disconnect(this);
        p.reply->abort();
        p.reply->deleteLater();
    }
}

quint64 NetTransfer::openUrl(const QUrl &url, QObject *context, Callback done)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Norvale/3.0"));
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);

    const quint64 id = m_nextId++;
    QNetworkReply *reply = m_manager->get(request);
    m_pending.insert(id, Pending {reply, QPointer<QObject>(context), context != nullptr, std::move(done)});
    connect(reply, &QNetworkReply::finished, this, [this, id] { finish(id); });
    if (const qint64 limit = maxBodyBytes(); limit > 0) {
        // Stops as soon as the announced or received length passes the bound, so an
        // endless body never fills the memory.
        connect(reply, &QNetworkReply::downloadProgress, this, [this, id, limit](qint64 received, qint64 total) {
            const auto it = m_pending.find(id);
            if (it == m_pending.end() || (received <= limit && total <= limit))
                return;
            it->tooLarge = true;
            it->reply->abort();
        });
    }
    return id;
}

void NetTransfer::abort(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    QNetworkReply *reply = it->reply;
    m_pending.erase(it);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
}

void NetTransfer::finish(quint64 id)
{
    const auto it = m_pending.find(id);
    if (it == m_pending.end())
        return;
    Pending pending = std::move(*it);
    m_pending.erase(it);
    pending.reply->deleteLater();

    if (pending.hasContext && !pending.context)
        return; // the window that asked is gone: nobody wants this reply

    TransferResult result;
    result.url = pending.reply->url();
    result.httpStatus = pending.reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QNetworkReply::NetworkError error = pending.reply->error();
    if (pending.tooLarge) {
        result.error = TransferError::TooLarge;
    } else if (error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        // setTransferTimeout() ends a stalled reply through abort(), which reports "cancelled".
        result.error = TransferError::Timeout;
    } else if (result.httpStatus >= 400) {
        result.error = TransferError::HttpStatus;
    } else if (error != QNetworkReply::NoError) {
        result.error = TransferError::Network;
    }
    if (result.error != TransferError::None)
        result.errorText = result.error == TransferError::HttpStatus ? QStringLiteral("HTTP %1").arg(result.httpStatus)
            : result.error == TransferError::TooLarge                ? QStringLiteral("reply too large")
                                                                     : pending.reply->errorString();
    if (result.error == TransferError::None) {
        result.bytes = pending.reply->readAll();
        result.body = decodeUtf8OrWindows1252(result.bytes);
        result.contentType = pending.reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    }

    if (pending.done)
        pending.done(result);
}
