// The whole listening journey with the real parts: a private Icecast stream, the station
// list served over HTTP, the real transfer, the real engine and the main window.

#include "Form1.h"
#include "IcecastServer.h"
#include "IniFile.h"
#include "LocalHttpServer.h"
#include "MpvPlayer.h"
#include "NetTransfer.h"

#include <QLabel>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QPushButton>
#include <QtTest>

class TestListenE2e : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clickPlaysAndSurvivesADroppedSource()
    {
        IcecastServer icecast;
        NORVALE_START_ICECAST(icecast);
        const QByteArray list = "<naam>Eerste</naam><url>http://127.0.0.1:1/none</url><homepage>h1</homepage>"
                                "<naam>Norvale toon</naam><url>"
            + icecast.streamUrl().toUtf8() + "</url><homepage>http://example.invalid/</homepage>";
        LocalHttpServer directory([&](const QByteArray &target) {
            return target == "/radio/inter/zenders/holland.txt" ? LocalHttpReply {200, list} : LocalHttpReply {404, {}};
        });

        QTemporaryDir folder;
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), folder.filePath(QStringLiteral("lang.ini")));
        WriteINI(folder.filePath(QStringLiteral("INST.INI")), QStringLiteral("Online Radio"), QStringLiteral("taal"),
                 QStringLiteral("english"));
        QNetworkAccessManager network;
        NetTransfer inet1(&network), inet2(&network), inet3(&network);
        MpvPlayer player(QStringLiteral("ao=null"));
        QVERIFY(player.isValid());
        QSignalSpy errors(&player, &MediaPlayer::error);

        Form1 form(AppServices {folder.path(), QUrl(directory.baseUrl()), &inet1, &inet2, &inet3, &player});
        form.load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *list1 = form.findChild<QListWidget *>(QStringLiteral("List1"));
        QTRY_COMPARE_WITH_TIMEOUT(list1->count(), 2, 8000);
        QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, list1->visualItemRect(list1->item(1)).center());

        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(PlayState::Playing), 15000);
        QCOMPARE(player.url(), icecast.streamUrl());
        QVERIFY(!form.findChild<QLabel *>(QStringLiteral("Label14"))->text().isEmpty());
        QCOMPARE(form.findChild<QPushButton *>(QStringLiteral("Command3"))->text(),
                 form.texts().TaalTekst(QStringLiteral("command3")));

        // The source drops away: the player leaves "playing" and keeps trying by itself.
        QVERIFY2(icecast.stopSource().isEmpty(), "could not stop the source");
        QTRY_VERIFY_WITH_TIMEOUT(player.playState() != PlayState::Playing, 15000);
        QVERIFY2(icecast.startSource().isEmpty(), "could not restart the source");
        QTRY_COMPARE_WITH_TIMEOUT(player.playState(), int(PlayState::Playing), 30000);
        QCOMPARE(errors.size(), 0);
        QCOMPARE(player.url(), icecast.streamUrl());
    }
};

QTEST_MAIN(TestListenE2e)
#include "tst_listen_e2e.moc"
