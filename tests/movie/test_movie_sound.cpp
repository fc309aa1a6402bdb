// A movie's own sound: the movie file loaded through the Ogg Vorbis reader
// alone, with the sound settings as they were afterwards.
#include "movie_test_util.h"
#include "sound/sound_internal.h"
#include "sound/soundconv.h"

using namespace morpotta;

using namespace movietest;

namespace {

class MovieSoundTest : public MovieTest {
protected:
    void SetUp() override {
        MovieTest::SetUp();
        ASSERT_EQ(SetSoundDeviceBackend("null"), 0);
        SetSoundProcessorCountForTesting(1);
        ASSERT_EQ(InitializeSoundSystem(), 0);
    }
    void TearDown() override {
        TerminateSoundSystem();
        SetSoundProcessorCountForTesting(0);
        SetSoundReaderMask(0);
        SetSoundDeviceBackend("sdl2");
        MovieTest::TearDown();
    }
    ScopedTempDir dir_;
};

TEST_F(MovieSoundTest, TheSoundTrackLoadsThroughTheOggVorbisReaderAlone) {
    MovieOptions o;
    o.frames = 30;
    o.sound = true;
    WriteBytes("with_sound.ogv", WriteTheoraMovie(o));
    o.sound = false;
    WriteBytes("silent.ogv", WriteTheoraMovie(o));

    SetSoundCreateType(2);
    SetSoundReaderMask(0x10);
    const int sound = LoadTheoraMovieSound("with_sound.ogv");
    ASSERT_GE(sound, 0);
    EXPECT_EQ(GetSoundTotalSamples(sound), 22050) << "one second of tone at 22050 Hz";
    EXPECT_EQ(GetSoundCreateType(), 2) << "restored";
    EXPECT_EQ(GetSoundReaderMask(), 0x10) << "restored";
    EXPECT_EQ(LoadTheoraMovieSound("silent.ogv"), -1);
    EXPECT_EQ(GetSoundCreateType(), 2) << "restored after a failure too";
    EXPECT_EQ(GetSoundReaderMask(), 0x10);
    EXPECT_EQ(LoadTheoraMovieSound("missing.ogv"), -1);
    EXPECT_EQ(DeleteSoundHandle(sound, 0), 0);

    // The same file still opens as a movie beside its sound.
    FileHandle file = OpenFileStream("with_sound.ogv", 0, 1, 0);
    TheoraDecoder* d = OpenTheoraDecoder(GetFileAccessTable(), file, 10);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->frameCount, 30);
    EXPECT_LE(LargestColourError(*GetTheoraFrameImage(d), 0), 2);
    CloseTheoraDecoder(d);
    CloseFileStream(file);
}

}  // namespace
