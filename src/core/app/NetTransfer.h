#pragma once

#include "app/Transfer.h"

#include <QHash>

class QNetworkAccessManager;
class QNetworkReply;

// Transfer over QNetworkAccessManager. The manager is shared by the three instances of
// the main window and outlives them; this object only owns its replies.
class NetTransfer final : public Transfer
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeoutMs = 15000;

    explicit NetTransfer(QNetworkAccessManager *manager, QObject *parent = nullptr);
    ~NetTransfer() override;

    void setTimeout(int milliseconds) { m_timeoutMs = milliseconds; }

    quint64 openUrl(const QUrl &url, QObject *context, Callback done) override;
    void abort(quint64 id) override;

private:
    struct Pending
    {
        QNetworkReply *reply = nullptr;
        QPointer<QObject> context;
        bool hasContext = false;
        Callback done;
        QMetaObject::Connection contextGone;
    };

    void finish(quint64 id);
    void checkSize(quint64 id);
    // Removes the request and releases its reply; the callback is left to the caller.
    Pending take(QHash<quint64, Pending>::iterator it);

    QNetworkAccessManager *m_manager;
    QHash<quint64, Pending> m_pending;
    quint64 m_nextId = 1;
    int m_timeoutMs = kDefaultTimeoutMs;
};
