#include "recorder/SongFiles.h"

#include "recorder/RecordingName.h"
#include "recorder/RecordingTags.h"

#include <QDir>

SongFiles::SongFiles(Setup setup)
    : m_setup(std::move(setup))
{ }

SongFiles::~SongFiles()
{
    finish();
}

bool SongFiles::startSong(const QString &title, const QDateTime &when)
{
    if (m_file.isOpen()) {
        m_file.close();
        m_files.append(m_file.fileName());
    }
    const bool first = m_songs++ == 0;
    m_skipping = first && !m_setup.keepPartial;
    if (m_skipping)
        return true;
    if (!QDir().mkpath(m_setup.folder)) {
        m_file.setFileName(m_setup.folder);
        m_error = QStringLiteral("cannot create the folder");
        return false;
    }
    // A station that sends no title still gets a name a person can place.
    m_title = title.isEmpty() ? m_setup.station + when.toString(QStringLiteral(" yyyy-MM-dd HH.mm")) : title;
    m_name = songFileName(m_title, first ? m_setup.beginMark : QString(), m_setup.extension);
    if (!createNewFile(m_file, QDir(m_setup.folder).filePath(m_name)))
        return fail();
    const SongTitle song = splitStreamTitle(title);
    const QByteArray tag = renderId3v2({song.title, song.artist, m_setup.station, when, m_setup.address});
    return write(tag);
}

bool SongFiles::write(QByteArrayView bytes)
{
    if (m_skipping || bytes.isEmpty())
        return true;
    if (!m_file.isOpen())
        return false;
    const qint64 n = m_file.write(bytes.data(), bytes.size());
    m_bytes += qMax<qint64>(0, n);
    return n == bytes.size() || fail();
}

void SongFiles::finish()
{
    if (!m_file.isOpen())
        return;
    m_file.close();
    if (!m_setup.keepPartial) {
        QFile::remove(m_file.fileName());
        return;
    }
    const bool first = m_songs == 1;
    const QString marked =
        songFileName(m_title, (first ? m_setup.beginMark : QString()) + m_setup.endMark, m_setup.extension);
    const QString renamed = renameToFree(m_file.fileName(), QDir(m_setup.folder).filePath(marked));
    m_files.append(renamed.isEmpty() ? m_file.fileName() : renamed);
}

bool SongFiles::fail()
{
    m_error = m_file.errorString();
    return false;
}
