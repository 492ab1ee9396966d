#include "recorder/RecordingTags.h"

#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/textidentificationframe.h>

namespace {

TagLib::String utf8(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

void addText(TagLib::ID3v2::Tag &tag, const char *id, const QString &text)
{
    if (text.isEmpty())
        return;
    // Frames made here, not through the tag's setters, which would pick Latin-1.
    auto *frame = new TagLib::ID3v2::TextIdentificationFrame(TagLib::ByteVector(id), TagLib::String::UTF8);
    frame->setText(utf8(text));
    tag.addFrame(frame);
}

} // namespace

QByteArray renderId3v2(const RecordingTags &tags)
{
    TagLib::ID3v2::Tag tag;
    addText(tag, "TIT2", tags.title);
    addText(tag, "TPE1", tags.artist);
    addText(tag, "TALB", tags.album);
    if (tags.recorded.isValid())
        addText(tag, "TDRC", tags.recorded.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    if (!tags.comment.isEmpty()) {
        auto *comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
        comment->setLanguage("und");
        comment->setText(utf8(tags.comment));
        tag.addFrame(comment);
    }
    const TagLib::ByteVector bytes = tag.render(TagLib::ID3v2::v4);
    return QByteArray(bytes.data(), int(bytes.size()));
}
