#include "PlayerRig.h"
#include "controls/Tavrilon.h"
#include "digest/basMD5.h"
#include "directory/Form2.h"
#include "player/CurrentStation.h"
#include "player/FavouritesList.h"
#include "player/MprisService.h"
#include "support/FakeTransfer.h"

#include <QAction>
#include <QDBusObjectPath>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>

class TestForm1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void stationAnnouncesRealChangesOnce()
    {
        CurrentStation s({"Een", "http://one/", "http://one/"}, {"Holland", "holland.txt"}, "Nederlands");
        QSignalSpy station(&s, &CurrentStation::stationChanged), country(&s, &CurrentStation::countryChanged),
            language(&s, &CurrentStation::languageChanged);
        const auto announced = [&] { // station, country, language since the last look
            const QList<qsizetype> counts {station.count(), country.count(), language.count()};
            station.clear(), country.clear(), language.clear();
            return counts;
        };
        s.setName("Een"), s.setSite("http://one/"), s.setLanguage("Nederlands");
        s.setCountry({"Holland", "holland.txt"});
        QCOMPARE(announced(), (QList<qsizetype> {0, 0, 0}));
        s.setName("Twee"), s.setAddress("http://two/"), s.setStation({"x", "x", "x"});
        QCOMPARE(announced(), (QList<qsizetype> {3, 0, 0}));
        s.setCountry({"Holland", "belgie.txt"});
        QCOMPARE(announced(), (QList<qsizetype> {0, 1, 0}));
        s.setLanguage("english");
        QCOMPARE(announced(), (QList<qsizetype> {0, 0, 1}));
    }

    // Another country leaves the station without an address (the desktop hears of it, tst_nowplaying).
    void countryChoiceClearsTheStation()
    {
        Rig rig;
        QVERIFY(rig.play(0));
        rig.player.script(PlayState::Stopped, QStringLiteral("Gestopt"));
        QTest::mouseClick(rig.child<QWidget>("Label1"), Qt::LeftButton);
        auto *chooser = rig.form->findChild<Form2 *>();
        QVERIFY(chooser);
        auto *countries = chooser->findChild<QListWidget *>(QStringLiteral("List1"));
        QTRY_COMPARE(countries->count(), 1);
        countries->setCurrentRow(0);
        QTest::mouseClick(chooser->findChild<QPushButton *>(QStringLiteral("Command1")), Qt::LeftButton);
        QCOMPARE(rig.child<QLabel>("ZenderNaam")->text(), QStringLiteral(" - "));
        QCOMPARE(rig.child<QLabel>("TaalGeselecteerd")->text(), QStringLiteral("belgie.txt"));
        QCOMPARE(rig.form->findChild<QSystemTrayIcon *>()->toolTip(), QStringLiteral("Norvale -  - "));
        QCOMPARE(rig.form->findChild<MprisService *>()->metadata()["mpris:trackid"].value<QDBusObjectPath>().path(),
                 QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    }

    void clickPlaysStation_data()
    {
        QTest::addColumn<int>("row"); // of kHolland
        QTest::addColumn<QString>("gesture"); // click, double, enter: each starts the station once
        QTest::newRow("first") << 0 << "click";
        QTest::newRow("query in url") << 1 << "click";
        QTest::newRow("no url entry") << 2 << "click";
        QTest::newRow("double click") << 0 << "double";
        QTest::newRow("Enter key") << 1 << "enter";
    }

    void clickPlaysStation()
    {
        QFETCH(int, row);
        QFETCH(QString, gesture);
        const QString url = QStringList {"http://one.example/stream", "http://two.example/live?x=1&y=2", ""}.at(row);
        const QString name = QStringList {"Radio Een", "Café FM", "Zonder stream"}.at(row);
        const QString homepage = QStringList {"http://one.example/", "http://two.example/", ""}.at(row);

        Rig rig;
        QVERIFY(rig.fetch());
        rig.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.form.get()));
        auto *list1 = rig.child<QListWidget>("List1");
        const QPoint at = list1->visualItemRect(list1->item(row)).center();
        if (gesture == QLatin1String("double")) {
            // What a window receives from a real double click.
            QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, at);
            QTest::mousePress(list1->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(list1->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseRelease(list1->viewport(), Qt::LeftButton, {}, at);
        } else if (gesture == QLatin1String("enter")) {
            list1->setCurrentRow(row); // as the arrow keys leave it: selected, not yet playing
            QVERIFY(rig.player.calls().isEmpty());
            QTest::keyClick(list1, Qt::Key_Return);
        } else {
            QTest::mouseClick(list1->viewport(), Qt::LeftButton, {}, at);
        }

        QCOMPARE(rig.player.calls(), QStringList {QStringLiteral("setUrl ") + url});
        QCOMPARE(rig.child<QLabel>("ZenderNaam")->text(), name);
        for (const char *label : {"Label14", "ZenderNaam", "TaalGeselecteerdTekst"}) // outside text, never markup
            QCOMPARE(rig.child<QLabel>(label)->textFormat(), Qt::PlainText);
        QCOMPARE(rig.child<QLabel>("RadioUrl")->text(), homepage);
        QCOMPARE(rig.child<QLabel>("verstuurMelding")->text(), QStringLiteral("zender_") + url);
        // The tray icon, shown or not, names the station and carries its own menu.
        const auto *tray = rig.form->findChild<QSystemTrayIcon *>();
        QCOMPARE(tray->toolTip(), QStringLiteral("Norvale - ") + name);
        QCOMPARE(tray->contextMenu(), rig.child<QMenu>("IconTray"));
        // The list as it came, in the diagnostics frame Ctrl+D shows and hides.
        QCOMPARE(rig.child<Tavrilon>("DownloadInfo")->Text(), QString::fromUtf8(kHolland));
        auto *frame = rig.form->findChild<QWidget *>(QStringLiteral("Frame1"));
        auto *remove = rig.child<QPushButton>("Command2");
        QTest::keyClick(remove, Qt::Key_X);
        QVERIFY(!frame->isVisible());
        QTest::keyClick(remove, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(frame->isVisible() && frame->x() == 0);
        QTest::keyClick(remove, Qt::Key_D, Qt::ControlModifier);
        QVERIFY(!frame->isVisible());
        QTRY_COMPARE(rig.child<QLabel>("Label8")->text(), rig.text("label8"));
    }

    void playerStateDrivesButton_data()
    {
        QTest::addColumn<PlayState>("state");
        QTest::addColumn<QString>("call"); // on a press of the button (captioned for it), Space, the tray item
        QTest::addColumn<QString>("mpris"); // what the desktop is told meanwhile
        const auto row = [](const char *tag, PlayState state, const char *call, const char *mpris) {
            QTest::newRow(tag) << state << QString(call) << QString(mpris);
        };
        row("stopped", PlayState::Stopped, "play", "Stopped");
        row("ready", PlayState::Ready, "play", "Stopped");
        row("playing", PlayState::Playing, "stop", "Playing");
        // Stop always stops: connecting, a stalled stream, a paused engine.
        row("transitioning", PlayState::Transitioning, "stop", "Playing");
        row("paused", PlayState::Paused, "stop", "Paused");
        row("buffering", PlayState::Buffering, "stop", "Playing");
    }

    void playerStateDrivesButton()
    {
        QFETCH(PlayState, state);
        QFETCH(QString, call);
        const QString captionKey = call == QLatin1String("stop") ? "command3" : "command3b";

        Rig rig(QStringLiteral("english"));
        QTRY_VERIFY(!rig.form->findChild<QTimer *>(QStringLiteral("Timer5"))->isActive()); // texts applied
        const QString status = QStringLiteral("status %1").arg(int(state));
        rig.player.script(PlayState::Playing, QStringLiteral("playing"));
        rig.player.script(state, status);
        auto *command3 = rig.child<QPushButton>("Command3");
        auto *stopspelen = rig.form->findChild<QAction *>(QStringLiteral("stopspelen"));
        QCOMPARE(command3->text(), rig.text(captionKey));
        QCOMPARE(stopspelen->text(), rig.text(captionKey));
        QCOMPARE(rig.child<QLabel>("Label14")->text(), status);
        QTEST(rig.form->findChild<MprisService *>()->playbackStatus(), "mpris");

        QTest::mouseClick(command3, Qt::LeftButton);
        QTest::keyClick(command3, Qt::Key_Space);
        stopspelen->trigger();
        QCOMPARE(rig.player.calls(), QStringList(3, call));
    }

    void askReplyEnablesRecordingOnce_data()
    {
        QTest::addColumn<QString>("reply"); // to the first ask
        QTest::addColumn<bool>("stale"); // another station plays by the time the reply comes
        QTest::addColumn<QList<PlayState>>("states"); // then, each with a new status text
        QTest::addColumn<bool>("otherAddress"); // the player is given another address first
        QTest::addColumn<int>("asks");
        QTest::addColumn<bool>("steady"); // the record button and the picture never change

        const auto row = [](const char *tag, const char *reply, bool stale, const QList<PlayState> &states, bool other,
                            int asks, bool steady) {
            QTest::newRow(tag) << QString(reply) << stale << states << other << asks << steady;
        };
        const char *ok = "\n127.0.0.1:8000";
        row("line break then address", ok, false, {}, false, 1, true);
        row("one character", "\n", false, {}, false, 1, true);
        row("empty", "", false, {}, false, 1, true);
        row("stale: another station by then", "\nold.example:80", true, {}, false, 1, true);
        row("new songs", ok, false, {PlayState::Playing, PlayState::Playing}, false, 1, true);
        row("a stall and back", ok, false, {PlayState::Buffering, PlayState::Playing}, false, 1, false);
        row("reconnect, same address", ok, false, {PlayState::Transitioning, PlayState::Playing}, false, 1, false);
        row("stop, then play", ok, false, {PlayState::Stopped, PlayState::Playing}, false, 2, false);
        row("another address", ok, false, {PlayState::Transitioning, PlayState::Playing}, true, 2, false);
    }

    void askReplyEnablesRecordingOnce()
    {
        QFETCH(QString, reply);
        QFETCH(bool, stale);
        QFETCH(QList<PlayState>, states);
        QFETCH(bool, otherAddress);
        QFETCH(int, asks);

        FakeTransfer ask;
        Rig rig(QStringLiteral("Nederlands"), serveHolland, &ask);
        WriteINI(rig.ini(), QStringLiteral("Online Radio"), QStringLiteral("visual"), QStringLiteral("1"));
        rig.form->show();
        auto *command4 = rig.child<QPushButton>("Command4");
        auto *frame2 = rig.form->findChild<QWidget *>(QStringLiteral("Frame2"));
        rig.player.setUrl(QStringLiteral("http://one.example/stream"));
        rig.player.script(PlayState::Playing, QStringLiteral("Speelt"));
        QCOMPARE(ask.requests.size(), 1);
        QCOMPARE(ask.requests[0].url.toString(QUrl::RemoveAuthority | QUrl::RemoveScheme),
                 "/radio/inter/shoutcast/ask.php?zenderurl=" + basMD5("http://one.example/stream"));
        if (stale)
            rig.player.setUrl(QStringLiteral("http://other.example/"));
        ask.answerLast(reply);
        const QString recStream = stale ? QString() : reply.mid(1);
        QCOMPARE(command4->isEnabled(), !recStream.isEmpty());
        QCOMPARE(rig.child<QLabel>("recStream")->text(), recStream.isEmpty() ? QStringLiteral("streamrec") : recStream);
        QVERIFY(frame2->isVisible());

        struct Watch : QObject
        {
            int changes = 0;
            bool eventFilter(QObject *, QEvent *event) override
            {
                const auto type = event->type();
                changes += type == QEvent::EnabledChange || type == QEvent::Show || type == QEvent::Hide;
                return false;
            }
        } watch;
        command4->installEventFilter(&watch);
        frame2->installEventFilter(&watch);
        if (otherAddress)
            rig.player.setUrl(QStringLiteral("http://two.example/live"));
        for (int i = 0; i < states.size(); ++i) {
            const QString status = QStringLiteral("Speelt: lied %1").arg(i);
            rig.player.script(states.at(i), status);
            QCOMPARE(rig.child<QLabel>("Label14")->text(), status);
        }
        QCOMPARE(ask.requests.size(), asks);
        if (asks > 1)
            ask.answerLast(QStringLiteral("\n127.0.0.1:8001"));
        QCOMPARE(command4->isEnabled(), !recStream.isEmpty());
        QVERIFY(frame2->isVisible());
        QTEST(watch.changes == 0, "steady");
        rig.player.script(PlayState::Stopped, QStringLiteral("Gestopt"));
        QVERIFY(!command4->isEnabled());
    }

    void mutePaths_data()
    {
        QTest::addColumn<QString>("control"); // what the user clicks
        QTest::addColumn<bool>("mutedBefore"); // every path turns it round
        QTest::addColumn<bool>("indicatorAfter"); // Label15 at once, before Timer6 runs

        QTest::newRow("Volume: mutes") << "Label9" << false << true;
        QTest::newRow("Volume: unmutes") << "Label9" << true << false;
        QTest::newRow("indicator unmutes") << "Label15" << true << false;
        QTest::newRow("indicator while unmuted mutes, label unchanged") << "Label15" << false << false;
        QTest::newRow("tray item leaves the indicator to Timer6") << "muting" << false << false;
    }

    void mutePaths()
    {
        QFETCH(QString, control);
        QFETCH(bool, mutedBefore);
        const bool mutedAfter = !mutedBefore;

        Rig rig;
        rig.form->show();
        rig.player.setMute(mutedBefore);
        if (control == QLatin1String("muting"))
            rig.form->findChild<QAction *>(control)->trigger();
        else
            QTest::mouseClick(rig.form->findChild<QWidget *>(control), Qt::LeftButton);
        QCOMPARE(rig.player.mute(), mutedAfter);
        auto *indicator = rig.child<QLabel>("Label15");
        QTEST(indicator->isVisible(), "indicatorAfter");
        QMetaObject::invokeMethod(rig.form->findChild<QTimer *>(QStringLiteral("Timer6")), "timeout");
        QCOMPARE(indicator->isVisible(), mutedAfter);
        // A user's slider move reaches the player unless it is muted.
        const int volume = rig.player.volume();
        auto *slider = rig.form->findChild<QWidget *>(QStringLiteral("Slider1"));
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Home);
        QCOMPARE(rig.player.volume(), mutedAfter ? volume : 0);
        QCOMPARE(rig.child<QLabel>("Label13")->text(), QStringLiteral("0%"));
    }

    void reportsLoggedAndSentInOrder()
    {
        Rig rig(QStringLiteral("Nederlands"), [](const QByteArray &target) {
            if (target.startsWith("/radio/inter/meld/index.php"))
                return LocalHttpReply {200, "ok " + target.mid(target.indexOf("meld=") + 5, 12)};
            return serveHolland(target);
        });
        QVERIFY(rig.play(0));
        rig.pick(1);
        QCOMPARE(rig.entries("List4"),
                 (QStringList {"zender_http://one.example/stream", "zender_http://two.example/live?x=1&y=2"}));
        QTRY_COMPARE(rig.child<QLabel>("verstuurMelding")->text().left(3), QStringLiteral("ok "));
        QByteArrayList reports = rig.server.targets();
        reports.removeIf([](const QByteArray &target) { return !target.startsWith("/radio/inter/meld/"); });
        const QByteArray meld = "/radio/inter/meld/index.php?meld=zender_http%3A%2F%2F";
        QCOMPARE(reports,
                 (QByteArrayList {meld + "one.example%2Fstream&versie=3.0",
                                  meld + "two.example%2Flive%3Fx%3D1%26y%3D2&versie=3.0"}));
    }

    void playerErrorOffersReport_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("No changes nothing") << "No";
        QTest::newRow("Yes opens the report page") << "Yes";
        QTest::newRow("refused address: a failed start, no report") << "refused";
    }

    void playerErrorOffersReport()
    {
        QFETCH(QString, answer);
        const bool refused = answer == QLatin1String("refused");
        Rig rig(QStringLiteral("Nederlands"),
                refused ? serveList("<naam>Lokaal</naam><url>file:///etc/passwd</url><homepage>h</homepage>")
                        : serveHolland);
        QVERIFY(rig.play(0));
        QCOMPARE(bool(rig.form->findChild<QMessageBox *>(QStringLiteral("message_error15"))), refused);
        rig.player.emitError(); // what the real player raises for a refused address too
        auto *box = rig.form->findChild<QMessageBox *>(QStringLiteral("message_error18"));
        QCOMPARE(bool(box), !refused);
        if (refused) {
            delete rig.form->findChild<QMessageBox *>(QStringLiteral("message_error15"));
            WriteINI(rig.folder.filePath(QStringLiteral("favo/Lokaal")), QStringLiteral("Internet"),
                     QStringLiteral("url"), QStringLiteral("file:///etc/passwd"));
            auto *file1 = rig.child<FavouritesList>("File1");
            QVERIFY(file1->setPath(rig.folder.path()));
            Q_EMIT file1->itemClicked(file1->item(0)); // a favourite says the same
            QVERIFY(rig.form->findChild<QMessageBox *>(QStringLiteral("message_error15")));
            return;
        }
        rig.player.emitError(); // a stream that keeps failing asks once
        QCOMPARE(rig.form->findChildren<QMessageBox *>().size(), 1);
        box->button(answer == QLatin1String("Yes") ? QMessageBox::Yes : QMessageBox::No)->click();
        const QByteArray page =
            "/radio/inter/website/index.php?wat=melding&lang=Nederlands"
            "&zenderurl=http%3A%2F%2Fone.example%2Fstream&zendernaam=Radio%20Een&zenderland=Holland";
        if (answer == QLatin1String("Yes"))
            QTRY_VERIFY(rig.server.targets().contains(page));
        else
            QVERIFY(!rig.server.targets().contains(page));
    }

    void exitPathsStoreTheStationOnce_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("close box") << "close box";
        QTest::newRow("tray Close, as the desktop's Quit") << "sluit";
        QTest::newRow("quit request, as a termination signal") << "quit";
    }

    void exitPathsStoreTheStationOnce()
    {
        QFETCH(QString, path);
        Rig rig;
        const QString ini = rig.ini();
        WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("xsluiten"), QString());
        QVERIFY(rig.play(1));
        rig.form->show();
        QVERIFY(!rig.form->close()); // "xsluiten" missing: the window stays, still playing,
        QVERIFY(rig.form->isMinimized()); // in the task bar, as offscreen there is no tray
        QCOMPARE(rig.remembered("LaatsteURL"), QStringLiteral("http://two.example/live?x=1&y=2"));
        QCOMPARE(rig.remembered("LaatsteLandbestand"), QStringLiteral("holland.txt"));
        QVERIFY(!rig.player.calls().contains(QStringLiteral("stop")));
        rig.pick(0); // chosen from the tray afterwards

        if (path == QLatin1String("close box")) {
            WriteINI(ini, QStringLiteral("Online Radio"), QStringLiteral("xsluiten"), QStringLiteral("1"));
            rig.form->show();
            QVERIFY(rig.form->close());
        } else if (path == QLatin1String("sluit")) {
            rig.form->findChild<QAction *>(path)->trigger();
        } else if (path == QLatin1String("quit")) {
            rig.form->show(); // the close box would only hide it
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(qApp, &quit);
            QVERIFY(quit.isAccepted()); // not refused by a window that would only hide
        }
        QCOMPARE(rig.remembered("LaatsteNAAM"), QStringLiteral("Radio Een"));
        QCOMPARE(rig.remembered("LaatsteURL"), QStringLiteral("http://one.example/stream"));

        // The program's last moment finds these values stored already and writes nothing.
        WriteINI(ini, QStringLiteral("Onthouden"), QStringLiteral("LaatsteNAAM"), QStringLiteral("elsewhere"));
        rig.form->rememberForExit();
        QCOMPARE(rig.remembered("LaatsteNAAM"), QStringLiteral("elsewhere"));
    }

    // The loader counts failures (tst_stationlistloader); the twelfth shows error10, one box however long nobody
    // answers.
    void repeatedFailuresShowError10()
    {
        Rig rig(QStringLiteral("Nederlands"), [](const QByteArray &) { return LocalHttpReply {500, "boom"}; });
        QCOMPARE(rig.entries("List1"), QStringList {rig.text("error14")});
        for (int failure = 1; failure <= 11; ++failure)
            QVERIFY(rig.fetch());
        QCOMPARE(rig.child<QLabel>("errorZendersLaden")->text(), QStringLiteral("11"));
        QVERIFY2(!rig.form->findChild<QMessageBox *>(), "error10 shown too early");
        for (int failure = 12; failure <= 24; ++failure)
            QVERIFY(rig.fetch());
        QCOMPARE(rig.form->findChildren<QMessageBox *>().size(), 1);
        auto *box = rig.form->findChild<QMessageBox *>(QStringLiteral("message_error10"));
        QVERIFY(box);
        QCOMPARE(box->text(), rig.text("error10"));
        QCOMPARE(box->windowTitle(), rig.text("error0"));
        QVERIFY(rig.loader->isActive());
        QCOMPARE(rig.entries("List1"), QStringList {rig.text("error14")});
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
