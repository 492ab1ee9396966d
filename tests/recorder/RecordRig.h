#pragma once

#include "FakeMediaPlayer.h"
#include "IniFile.h"
#include "Record.h"

#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// A program folder with the shipped lang.ini, a playing scripted player, a parent
// window for the recorder and the reports it sends.
struct RecordRig
{
    QTemporaryDir folder;
    FakeMediaPlayer player;
    QWidget parent;
    QStringList reports;
    QPointer<Record> record;

    RecordRig()
    {
        QFile::copy(QStringLiteral(NORVALE_SOURCE_DIR "/data/lang.ini"), folder.filePath(QStringLiteral("lang.ini")));
        player.setUrl(QStringLiteral("http://station.example/live"));
        player.setPlayState(PlayState::Playing);
        player.clearCalls();
    }

    LanguageTexts texts() const
    {
        return LanguageTexts(folder.path(), [] { return QStringLiteral("Nederlands"); });
    }
    QString text(const char *key) const { return texts().TaalTekst(QLatin1String(key)); }

    Record *open(const QString &recStream)
    {
        record = Record::openRecorder(&parent,
                                      {folder.path(), texts(), recStream, QStringLiteral("Radio Tien"), &player,
                                       [this](const QString &report) { reports << report; }, QTime(9, 5)});
        return record;
    }

    template<typename T>
    T *child(const char *name) const
    {
        return record->findChild<T *>(QLatin1String(name));
    }
    void click(const char *name) const { QTest::mouseClick(child<QPushButton>(name), Qt::LeftButton); }
    bool idle() const
    {
        return child<QPushButton>("Command1")->isEnabled() && !child<QPushButton>("Command3")->isEnabled();
    }

    // Names of the message boxes open over the main window and the recorder.
    QStringList messages() const
    {
        QStringList names;
        for (const QMessageBox *box : parent.findChildren<QMessageBox *>())
            names << box->objectName().mid(8); // "message_"
        names.sort();
        return names;
    }
};
