#include "PlayerRig.h"
#include "controls/MessageBox.h"
#include "firstrun/Form6.h"
#include "firstrun/Form7.h"
#include "recorder/Record.h"
#include "skins/SkinImage.h"

#include <QtWidgets>

namespace {

double luminance(const QColor &c) // relative luminance, as contrast guidelines define it
{
    const auto lin = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * lin(c.redF()) + 0.7152 * lin(c.greenF()) + 0.0722 * lin(c.blueF());
}
double contrast(const QColor &a, const QColor &b)
{
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

} // namespace

class TestSkinColours : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void readable_data()
    {
        QTest::addColumn<QString>("skin");
        QTest::addColumn<QString>("window");
        for (const char *skin : {"Standaard", "Nacht"})
            for (const char *window : {"main", "chooser", "search", "settings", "skins", "recorder", "history",
                                       "sleeptimer", "alarm", "firstrun", "upgrade"})
                QTest::addRow("%s %s", skin, window) << skin << window;
    }
    // Each skin under the desktop theme least like it: its labels stand out from the frame
    // (titles from the bar), the text of lists and edits from their field.
    void readable()
    {
        QFETCH(QString, skin);
        QFETCH(QString, window);
        QPalette desktop = QApplication::style()->standardPalette();
        for (int role = 0; skin == QLatin1String("Standaard") && role < QPalette::NColorRoles; ++role) // dark desktop
            desktop.setColor(QPalette::ColorRole(role),
                             QColor::fromHsl(0, 0, 255 - desktop.color(QPalette::ColorRole(role)).lightness()));
        QApplication::setPalette(desktop);
        Rig rig(QStringLiteral("Nederlands"), serveHolland, nullptr, skin);
        Form1 &form = *rig.form;
        const QString folder = rig.folder.path();
        QVERIFY(QTest::qWaitFor([&] { return form.findChild<SkinImage *>("Image2")->hasPicture(); }));
        const auto click = [&](QWidget *parent, const char *name) {
            QTest::mouseClick(parent->findChild<QWidget *>(name), Qt::LeftButton);
        };
        const std::map<QString, const char *> links = {
            {"chooser", "Label1"},       {"search", "Label12"},        {"settings", "Label4"}, {"skins", "Label4"},
            {"history", "LabelHistory"}, {"sleeptimer", "LabelSleep"}, {"alarm", "LabelAlarm"}};
        QWidget *shown = &form;
        std::unique_ptr<QWidget> own;
        if (links.count(window)) {
            click(&form, links.at(window));
            shown = form.findChild<QDialog *>();
            if (window == QLatin1String("skins")) {
                click(shown, "Command3");
                shown = shown->findChild<QDialog *>();
            }
        } else if (window == QLatin1String("recorder")) {
            shown = Record::openRecorder(&form, {folder, form.texts(), "127.0.0.1:9", "Radio", &rig.player, {}});
        } else if (window == QLatin1String("firstrun")) {
            auto *first = new Form6(folder, QUrl("http://127.0.0.1:9/"), rig.registry, "/usr/bin/norvale");
            own.reset(shown = first);
            first->load();
        } else if (window == QLatin1String("upgrade")) {
            auto *upgrade = new Form7(folder, form.texts(), rig.registry, "/usr/bin/norvale");
            own.reset(shown = upgrade);
            upgrade->setSkin(readSkin(folder, SkinPart::Frame));
        }
        QVERIFY(shown);
        shown->show();
        const SkinLook look = readSkin(folder, SkinPart::Frame | SkinPart::Bar);
        const QColor frame = averageColour(look.frame), bar = averageColour(look.bar);
        int checked = 0; // a window without a readable label fails too
        for (QLabel *label : shown->findChildren<QLabel *>()) {
            if (!label->isVisibleTo(shown) || label->text().isEmpty() || label->window() != shown)
                continue;
            const QWidget *barPicture = shown == &form ? nullptr : shown->findChild<QWidget *>("Image2");
            const bool onBar = barPicture && barPicture->isVisibleTo(shown)
                && barPicture->geometry().contains(label->mapTo(shown, label->rect().center()));
            const QColor text = label->palette().color(label->foregroundRole());
            QVERIFY2(contrast(text, onBar ? bar : frame) >= 3.0 && ++checked, qPrintable(label->objectName()));
        }
        for (QWidget *field : shown->findChildren<QWidget *>())
            if (qobject_cast<QAbstractItemView *>(field) || qobject_cast<QLineEdit *>(field))
                QVERIFY(contrast(field->palette().color(QPalette::Text), field->palette().color(QPalette::Base)) >= 3);
        QVERIFY(checked >= 1);
    }

    void standardButtonsSpeakTheLanguage()
    {
        for (const auto &[language, yes] : {std::pair {"Nederlands", "Ja"}, {"english", "Yes"}}) {
            QWidget parent;
            const LanguageTexts texts(NORVALE_SOURCE_DIR "/data", [name = language] { return QString(name); });
            showMessage(&parent, texts, QStringLiteral("error0"), MessageCode::YesNo, true);
            QCOMPARE(parent.findChild<QMessageBox *>()->button(QMessageBox::Yes)->text().remove('&'), yes);
        }
    }
};

QTEST_MAIN(TestSkinColours)
#include "tst_skincolours.moc"
