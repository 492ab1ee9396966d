#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <optional>

class Transfer;
struct TransferResult;

// Loads the current country's station list from the directory server and retries
// every two seconds until one load completes. This is the main window's Timer1 with
// its LaadLijst_Radio, without the widgets: the window clears and fills its lists from
// the signals and shows the message when failedTooOften() arrives.
//
// The list file name and the base URL are asked for at every tick, so a country chosen
// or a directory changed meanwhile is picked up by the next attempt.
class StationListLoader final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimer1IntervalMs = 2000;
    // More failures in a row than this make the next one show the message.
    static constexpr int kFailureLimit = 10;

    using BaseUrlSource = std::function<QUrl()>;
    using FileNameSource = std::function<QString()>;

    // inet1 must outlive the loader. baseUrl gives the directory server's base (ending
    // in "/"), bestand the list file name (the caption of TaalGeselecteerd).
    StationListLoader(Transfer *inet1, BaseUrlSource baseUrl, FileNameSource bestand, QObject *parent = nullptr);
    ~StationListLoader() override;

    // base + "radio/inter/zenders/" + bestand; the name stays one path piece as written,
    // only characters that would change the URL's meaning are percent-encoded.
    static QUrl listUrl(const QUrl &baseUrl, const QString &bestand);

    bool isActive() const { return m_timer1.isActive(); } // Timer1 enabled
    bool isFetching() const { return m_inFlight; }
    int failureCount() const { return m_errorZendersLaden; } // errorZendersLaden

public Q_SLOTS:
    // Enables Timer1 (window load, after each country choice). A fetch still running for
    // an earlier start is abandoned, so its reply can never fill the lists.
    void start();
    // Disables Timer1 and abandons a running fetch.
    void stop();
    // One Timer1 tick; public so the owner and tests can drive it directly.
    void onTimer1();

Q_SIGNALS:
    // An attempt begins: the window empties List1, List2 and List3.
    void cleared();
    // The list text has arrived: the window keeps it in DownloadInfo.
    void downloaded(const QString &text);
    // The list is parsed and Timer1 is off; the three lists are parallel by position
    // only, and may differ in length when the server's text is malformed.
    void loaded(const QStringList &names, const QStringList &urls, const QStringList &homepages);
    // Reports the failure counter after each change (the hidden label errorZendersLaden).
    void failureCountChanged(int count);
    // More than kFailureLimit failures had been counted; the counter is already back at
    // 0, so a failure while the window's message box is open starts a new count instead
    // of stacking a second box.
    void failedTooOften();

private:
    void finish(quint64 generation, const QString &bestand, const TransferResult &result);
    void countFailure();
    void abandonFetch();

    Transfer *m_inet1;
    BaseUrlSource m_baseUrl;
    FileNameSource m_bestand;
    QTimer m_timer1;
    int m_errorZendersLaden = 0;
    bool m_inFlight = false;
    std::optional<quint64> m_requestId; // unset while openUrl has not returned yet
    // Bumped whenever a fetch is started or abandoned; a reply carrying an older value
    // belongs to a load nobody waits for any more.
    quint64 m_generation = 0;
};
