#include "app/IniFile.h"
#include "app/LanguageTexts.h"
#include "skins/Form5.h"
#include "skins/SkinLoader.h"
#include "support/TestFiles.h"

#include <QLabel>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QStringList kSkinFiles = {"skins/Standaard_head.skn", "skins/Standaard_frame1.skn", "skins/Standaard_balk1.skn",
                                "skins/Nacht_head.skn",     "skins/Nacht_frame1.skn",     "skins/Nacht_balk1.skn"};
const QStringList kSliderFiles = {"data3.0/scroll.jpg", "data3.0/scroll2.jpg", "data3.0/scroll3.jpg", "data3.0/bg.jpg",
                                  "data3.0/bg2.jpg"};

void writePicture(const QString &path, const char *format, QSize size = {8, 8})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QVERIFY(image.save(path, format));
}

} // namespace

class TestSkins : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void pictureByContent_data()
    {
        QTest::addColumn<QByteArray>("content"); // a picture format, else the file's bytes; empty: no file
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("error");
        const auto row = [](const char *tag, const char *content, QSize size, PictureError error) {
            QTest::newRow(tag) << QByteArray(content) << size << int(error);
        };
        row("PNG", "PNG", {8, 8}, PictureError::None);
        row("JPEG", "JPEG", {8, 8}, PictureError::None);
        row("BMP", "BMP", {8, 8}, PictureError::None);
        row("text", "[Skin]\nnaam=x\n", {}, PictureError::NotAPicture);
        row("too wide", "PNG", {5000, 1}, PictureError::TooLarge);
        row("missing", "", {}, PictureError::Missing);
    }

    void pictureByContent()
    {
        QFETCH(QByteArray, content);
        QFETCH(QSize, size);
        QFETCH(int, error);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("x_frame1.skn"));
        if (size.isValid())
            writePicture(path, content.constData(), size);
        else if (!content.isEmpty())
            writeBytes(path, content);
        const PictureResult result = readPicture(path);
        QCOMPARE(int(result.error), error);
        QCOMPARE(result.image.size(), error == int(PictureError::None) ? size : QSize(0, 0));
    }

    void fallbackSequence_data()
    {
        QTest::addColumn<QString>("skin"); // "-": no key
        QTest::addColumn<QStringList>("missing");
        // One entry per Timer2 tick: "[skin to choose first>]outcome[:messages]".
        QTest::addColumn<QStringList>("ticks");
        QTest::addColumn<QString>("finalSkin");

        QTest::newRow("complete skin") << "Nacht" << QStringList() << QStringList {"L"} << "Nacht";
        QTest::newRow("no skin key") << "-" << QStringList() << QStringList {"R:error16", "R:error16,error19", "L"}
                                     << "Standaard";
        QTest::newRow("only balk1 missing: main window still loads")
            << "Nacht" << QStringList {"skins/Nacht_balk1.skn"} << QStringList {"L"} << "Nacht";
        QTest::newRow("slider picture missing: fall-back fails too, retries end")
            << "Nacht" << QStringList {"data3.0/bg2.jpg"} << QStringList {"R:error16", "R:error16,error19", "G:error16"}
            << "Standaard";
        QTest::newRow("Standaard itself broken gives up at its second failure")
            << "Standaard" << QStringList {"skins/Standaard_head.skn"} << QStringList {"R:error16", "G:error16"}
            << "Standaard";
        QTest::newRow("after one failure a later bad skin falls back at once")
            << "Weg" << QStringList() << QStringList {"R:error16", "Nacht>L", "Kapot>R:error16,error19", "L"}
            << "Standaard";
        QTest::newRow("a name reaching outside the skins folder")
            << "../skins/Nacht" << QStringList() << QStringList {"R:error16", "R:error16,error19", "L"} << "Standaard";
    }

    void fallbackSequence()
    {
        QFETCH(QString, skin);
        QFETCH(QStringList, missing);
        QFETCH(QStringList, ticks);
        QFETCH(QString, finalSkin);
        QTemporaryDir dir;
        const QString inst = dir.filePath(QStringLiteral("INST.INI"));
        for (const QString &file : kSkinFiles + kSliderFiles)
            if (!missing.contains(file))
                writePicture(dir.filePath(file), file.endsWith(QLatin1String(".jpg")) ? "JPEG" : "PNG");
        if (skin != QLatin1String("-"))
            WriteINI(inst, QStringLiteral("Online Radio"), QStringLiteral("skin"), skin);

        SkinLoader loader(dir.path());
        for (QString tick : ticks) {
            if (const qsizetype choose = tick.indexOf(QLatin1Char('>')); choose >= 0) {
                WriteINI(inst, QStringLiteral("Online Radio"), QStringLiteral("skin"), tick.left(choose));
                tick = tick.mid(choose + 1);
            }
            const MainSkinResult result = loader.loadMain();
            const QString outcome = QStringLiteral("LRG").at(int(result.outcome));
            const QString got =
                result.messages.isEmpty() ? outcome : outcome + QLatin1Char(':') + result.messages.join(',');
            QCOMPARE(got, tick);
            if (result.outcome == SkinLoadOutcome::Loaded) {
                QVERIFY(!result.look.head.isNull() && !result.look.frame.isNull());
                for (const QImage &picture : result.look.slider)
                    QVERIFY(!picture.isNull());
            }
        }
        QCOMPARE(ReadINI(inst, QStringLiteral("Online Radio"), QStringLiteral("skin")), finalSkin);
        QCOMPARE(loader.skinfout(),
                 QLatin1String(ticks.join(',').contains(QLatin1String("error16")) ? "2" : "skinfout"));
        // Dialogs need the title bar as well; the recorder and the first run can do without it.
        const bool barMissing = missing.contains(QStringLiteral("skins/%1_balk1.skn").arg(finalSkin));
        const SkinLook look = readSkin(dir.path(), SkinPart::Frame | SkinPart::Bar);
        QCOMPARE(look.ok(), !barMissing);
        QVERIFY(!look.frame.isNull()); // what did read is kept: windows that can do without the bar
        QCOMPARE(look.failedPath.section('/', -1), barMissing ? QStringLiteral("Nacht_balk1.skn") : QString());
    }

    void skinOptions()
    {
        QTemporaryDir dir;
        const auto info = [&](const char *name, const QByteArray &text) {
            writeBytes(dir.filePath(QStringLiteral("skins/") + QLatin1String(name)), text);
        };
        info("Zomer.logskn", "[Auteur]\nnaam=An\nwebsite=an.example\n[Skin]\nnaam=Zomer\nSetupDatum=1-6-2024\n");
        info("alleen skin.logskn", "[Skin]\nnaam=Alleen\n");
        info("Zomer_head.skn", "not listed");
        info(".verborgen.logskn", "");

        LanguageTexts texts(dir.path(), [] { return QString(); });
        Form5 form(dir.path(), texts);
        auto *list = form.findChild<QListWidget *>(QStringLiteral("List1"));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(), QStringLiteral("Zomer"));
        QCOMPARE(list->item(1)->text(), QStringLiteral("alleen skin"));
        const auto labels = [&] {
            QStringList values;
            for (const char *name : {"Label3", "Label4", "Label5", "Label6"})
                values << form.findChild<QLabel *>(QLatin1String(name))->text();
            return values;
        };
        QCOMPARE(labels(), QStringList({"-", "-", "-", "-"}));

        QSignalSpy chosen(&form, &Form5::skinChosen);
        form.List1_Click(1);
        QCOMPARE(labels(), QStringList({"", "", "Alleen", ""}));
        form.List1_Click(0);
        QCOMPARE(labels(), QStringList({"An", "an.example", "Zomer", "1-6-2024"}));
        QCOMPARE(chosen.count(), 2);
        QCOMPARE(ReadINI(dir.filePath("INST.INI"), "Online Radio", "skin"), QStringLiteral("Zomer"));
    }
};

QTEST_MAIN(TestSkins)
#include "tst_skins.moc"
