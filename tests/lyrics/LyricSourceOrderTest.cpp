// Where the lookup finds a song's lyric, on songs made and tagged while the test runs: beside
// the song (any letter case of ".lrc"), embedded in its tags (ID3v2 SYLT and USLT, FLAC
// LYRICS, MP4 ©lyr), the lyric folder. Also the conversion of synchronised text into LRC.
#include "lyrics/core/EmbeddedLyrics.h"
#include "lyrics/core/LyricLookup.h"

#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/synchronizedlyricsframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

namespace lirvo::lyrics {
namespace {

struct SyncedCase {
    const char *name;
    std::vector<TSyncedText> entries;
    std::string lrc;
};

TEST(LyricsSyncedText, ConvertsToLrcLinesAndWordTags) {
    const SyncedCase cases[] = {
        {"one_entry_per_line",
         {{1000, "first"}, {61500, "second"}, {3723004, "late"}},
         "[00:01.000]first\r\n[01:01.500]second\r\n[01:02:03.004]late\r\n"},
        {"karaoke_entries_become_word_tags",
         {{1000, "\nHel"}, {1400, "lo "}, {2000, "world"}, {5000, "\nNext"}},
         "[00:01.000]<00:01.000>Hel<00:01.400>lo <00:02.000>world\r\n[00:05.000]Next\r\n"},
        {"breaks_inside_become_blanks_and_empty_entries_go",
         {{0, "a\r\nb"}, {10, ""}, {20, " \n "}, {400000000, "too late"}},
         "[00:00.000]a  b\r\n"},
        {"nothing", {}, ""},
    };
    for (const SyncedCase &c : cases) {
        EXPECT_EQ(SyncedTextToLrc(c.entries), c.lrc) << c.name;
        if (!c.lrc.empty()) {
            EXPECT_TRUE(HasTimedLines(c.lrc)) << c.name;
        }
    }
}

// Songs of one second, made with ffmpeg and tagged with TagLib.
class LyricsSourceOrder : public ::testing::Test {
protected:
    std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }
    std::string Song(const std::string &name) {
        const std::string path = Path(name);
        const std::string command = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' '" + path + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }
    void Write(const std::string &path, const std::string &text) { std::ofstream(path, std::ios::binary) << text; }
    TLyricLookupResult Lookup(const std::string &song) {
        TLyricLookupRequest request;
        request.Path = song;
        request.Song = TSongQuery{"Title", "Singer", "", 1000};
        request.LyricDir = lyricDir;
        return LookupLyric(request, nullptr);
    }
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        lyricDir = Path("lrc");
        QDir().mkpath(QString::fromStdString(lyricDir));
    }

    QTemporaryDir dir;
    std::string lyricDir;
};

TEST_F(LyricsSourceOrder, Id3v2SyltAndUsltAreReadAndUntimedTextIsPassedOver) {
    const std::string sylt = Song("sylt.mp3"), timed = Song("timed.mp3"), plain = Song("plain.mp3");
    {
        TagLib::MPEG::File file(sylt.c_str());
        auto *frame = new TagLib::ID3v2::SynchronizedLyricsFrame(TagLib::String::UTF8);
        frame->setTimestampFormat(TagLib::ID3v2::SynchronizedLyricsFrame::AbsoluteMilliseconds);
        TagLib::ID3v2::SynchronizedLyricsFrame::SynchedTextList entries;
        entries.append({500, TagLib::String("同步的歌", TagLib::String::UTF8)});
        entries.append({1500, "second"});
        frame->setSynchedText(entries);
        file.ID3v2Tag(true)->addFrame(frame);
        // A USLT beside it loses: SYLT comes first.
        auto *uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        uslt->setText("[00:09.00]unsynchronised");
        file.ID3v2Tag()->addFrame(uslt);
        ASSERT_TRUE(file.save());
    }
    for (const auto &[path, text] : {std::pair{timed, "[00:01.00]timed words\n[00:02.50]more"},
                                     std::pair{plain, "just words\nwithout any time"}}) {
        TagLib::MPEG::File file(path.c_str());
        auto *uslt = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
        uslt->setText(TagLib::String(text, TagLib::String::UTF8));
        file.ID3v2Tag(true)->addFrame(uslt);
        ASSERT_TRUE(file.save());
    }
    Write(lyricDir + "/Title - Singer.lrc", "[00:01.00]from the folder\r\n");

    TLyricLookupResult found = Lookup(sylt);
    EXPECT_EQ(found.Source, TLyricSource::Embedded);
    EXPECT_EQ(found.Where, sylt);
    EXPECT_EQ(found.Text, "[00:00.500]同步的歌\r\n[00:01.500]second\r\n");
    EXPECT_EQ(found.LyricFile, "") << "an embedded lyric has no file to keep shifts in";

    found = Lookup(timed);
    EXPECT_EQ(found.Source, TLyricSource::Embedded);
    EXPECT_EQ(found.Text, "[00:01.00]timed words\r\n[00:02.50]more\r\n");

    found = Lookup(plain);
    EXPECT_EQ(found.Source, TLyricSource::Folder);
    EXPECT_EQ(found.Text, "[00:01.00]from the folder\r\n");
}

TEST_F(LyricsSourceOrder, FlacLyricsAndMp4LyrAreRead) {
    const std::string flac = Song("song.flac"), m4a = Song("song.m4a");
    {
        TagLib::FLAC::File file(flac.c_str());
        file.xiphComment(true)->addField("UNSYNCEDLYRICS", "[00:03.00]unsynced field");
        file.xiphComment()->addField("LYRICS", "plain words only");
        ASSERT_TRUE(file.save());
    }
    {
        TagLib::MP4::File file(m4a.c_str());
        file.tag()->setItem("\251lyr", TagLib::StringList(TagLib::String("[00:02.00]从 MP4", TagLib::String::UTF8)));
        ASSERT_TRUE(file.save());
    }
    TLyricLookupResult found = Lookup(flac);
    EXPECT_EQ(found.Source, TLyricSource::Embedded);
    EXPECT_EQ(found.Text, "[00:03.00]unsynced field\r\n");
    found = Lookup(m4a);
    EXPECT_EQ(found.Source, TLyricSource::Embedded);
    EXPECT_EQ(found.Text, "[00:02.00]从 MP4\r\n");
}

TEST_F(LyricsSourceOrder, BesideBeatsEmbeddedInAnyLetterCase) {
    const std::string song = Song("Beside.flac");
    {
        TagLib::FLAC::File file(song.c_str());
        file.xiphComment(true)->addField("LYRICS", "[00:01.00]embedded");
        ASSERT_TRUE(file.save());
    }
    EXPECT_EQ(Lookup(song).Source, TLyricSource::Embedded);

    Write(Path("Beside.LRC"), "[00:01.00]upper-case beside\r\n");
    Write(Path("beside.lrc"), "[00:01.00]another song's name\r\n"); // the name's case counts
    TLyricLookupResult found = Lookup(song);
    EXPECT_EQ(found.Source, TLyricSource::Beside);
    EXPECT_EQ(found.Where, Path("Beside.LRC"));
    EXPECT_EQ(found.LyricFile, Path("Beside.LRC"));
    EXPECT_EQ(found.Text, "[00:01.00]upper-case beside\r\n");

    Write(Path("Beside.lrc"), "[00:01.00]exact beside\r\n");
    EXPECT_EQ(Lookup(song).Where, Path("Beside.lrc")) << "the exact extension is preferred";
}

TEST_F(LyricsSourceOrder, SongTagsGiveTitleArtistAlbumAndLength) {
    const std::string song = Song("tagged.flac");
    {
        TagLib::FLAC::File file(song.c_str());
        file.tag()->setTitle(TagLib::String("晴天", TagLib::String::UTF8));
        file.tag()->setArtist("Singer");
        file.tag()->setAlbum("Album");
        ASSERT_TRUE(file.save());
    }
    const TSongTags tags = ReadSongTags(song);
    EXPECT_EQ(tags.Title, "晴天");
    EXPECT_EQ(tags.Artist, "Singer");
    EXPECT_EQ(tags.Album, "Album");
    EXPECT_NEAR(tags.DurationMs, 1000, 50);
    EXPECT_EQ(ReadSongTags(Path("missing.mp3")).DurationMs, 0);
    EXPECT_EQ(ReadEmbeddedLyric(Path("missing.mp3")), "");
}

// WAV writers put title and artist into the RIFF INFO chunk (ffmpeg does), which TagLib's
// WAV tag leaves out; an ID3v2 chunk, where there is one, still comes first.
TEST_F(LyricsSourceOrder, WavTagsComeFromTheRiffInfoChunk) {
    const std::string wav = Path("info.wav");
    const std::string make = "ffmpeg -loglevel error -y -f lavfi -i 'sine=frequency=440:duration=1' "
                             "-metadata title=晚风 -metadata artist=林某 -metadata album=夏天 '" + wav + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    TSongTags tags = ReadSongTags(wav);
    EXPECT_EQ(tags.Title, "晚风");
    EXPECT_EQ(tags.Artist, "林某");
    EXPECT_EQ(tags.Album, "夏天");
    {
        TagLib::RIFF::WAV::File file(wav.c_str());
        file.ID3v2Tag()->setTitle(TagLib::String("晴天", TagLib::String::UTF8));
        ASSERT_TRUE(file.save());
    }
    tags = ReadSongTags(wav);
    EXPECT_EQ(tags.Title, "晴天");
    EXPECT_EQ(tags.Artist, "林某");
}

} // namespace
} // namespace lirvo::lyrics
