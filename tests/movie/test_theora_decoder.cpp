// The Theora decoder on generated movies: the first frame as a picture in
// every chroma layout, the index, the ring and its wrap, seeks, the YUV
// surface, refused and damaged files, and the movie's own sound.
#include "movie_test_util.h"

using namespace movietest;

namespace {

class TheoraDecoderTest : public MovieTest {};

TEST_F(TheoraDecoderTest, FirstFrameUprightInEveryChromaLayout) {
    for (th_pixel_fmt format : {TH_PF_420, TH_PF_422, TH_PF_444}) {
        MovieOptions o;
        o.width = 80;
        o.height = 48;
        o.pixelFormat = format;
        o.fpsNumerator = 25;
        MemoryMovie movie(o);
        ASSERT_NE(movie.get(), nullptr) << format;
        TheoraMovieInfo info;
        ASSERT_EQ(GetTheoraMovieInfo(movie.get(), &info), 0);
        EXPECT_EQ(info.width, 80);
        EXPECT_EQ(info.height, 48);
        EXPECT_EQ(info.frameCount, 3);
        EXPECT_DOUBLE_EQ(info.frameRate, 25.0);
        EXPECT_EQ(GetTheoraCurrentFrame(movie.get()), 0);
        const BASEIMAGE* image = GetTheoraFrameImage(movie.get());
        ASSERT_EQ(image->width, 80);
        EXPECT_LE(LargestColourError(*image, 0), 2) << "layout " << format;
    }
}

}  // namespace

namespace {

TEST_F(TheoraDecoderTest, OpensThroughTheFileFunctionsAndIndexesPagesAndKeyFrames) {
    ScopedTempDir dir;
    MovieOptions o;
    o.frames = 30;
    o.framesPerPage = 3;
    o.keyFrameInterval = 8;
    moviegen::MovieWriter writer(o);
    const std::vector<uint8_t> bytes = writer.Write();
    const std::vector<bool>& keys = writer.keyFrames();
    ASSERT_EQ(keys.size(), 30u);
    ASSERT_LT(std::count(keys.begin(), keys.end(), true), 10) << "inter frames too";
    WriteBytes("movie.ogv", bytes);
    FileHandle file = OpenFileStream("movie.ogv", 0, 1, 0);
    ASSERT_NE(file, 0u);
    TheoraDecoder* d = OpenTheoraDecoder(GetFileAccessTable(), file, 10);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->frameCount, 30);
    ASSERT_EQ(d->pageCount, 10) << "one entry per page of three frames";
    EXPECT_EQ(d->pages[0].offset, 0) << "a restart reads from the first byte";
    for (int i = 0; i < d->pageCount; ++i) {
        const TheoraPageEntry& e = d->pages[i];
        EXPECT_EQ(e.firstFrame, 3 * i);
        EXPECT_EQ(e.frames, 3);
        EXPECT_EQ(e.keyFrame, keys[e.firstFrame] || keys[e.firstFrame + 1] || keys[e.firstFrame + 2] ? 1 : 0) << i;
        if (i > 0) {
            ASSERT_GT(e.offset, d->pages[i - 1].offset);
            ASSERT_LT(e.offset + 4, int64_t(bytes.size()));
            EXPECT_EQ(std::string(bytes.begin() + e.offset, bytes.begin() + e.offset + 4), "OggS") << "page " << i;
        }
    }
    for (int f = 0; f < 30; ++f) EXPECT_EQ(d->keyFrames[f], keys[f] ? 1 : 0) << f;
    EXPECT_LE(LargestColourError(*GetTheoraFrameImage(d), 0), 2);
    WaitForRingFull(d);
    std::vector<int> frames = RingFrames(d);
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9})) << "the look-ahead of a long movie";
    CloseTheoraDecoder(d);
    EXPECT_EQ(CloseFileStream(file), 0) << "the file stays the caller's";
}

TEST_F(TheoraDecoderTest, AShortMovieWrapsRoundToItsFirstFrame) {
    MovieOptions o;
    o.frames = 3;
    MemoryMovie movie(o);
    ASSERT_NE(movie.get(), nullptr);
    WaitForRingFull(movie.get());
    std::vector<int> frames = RingFrames(movie.get());
    ASSERT_EQ(frames, (std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1, 2, 0})) << "decoded in order, round and round";
    // Every copy holds its own frame's picture, frame 0 after the restart too.
    for (int i = 0; i < movie->ringSize; ++i) {
        BASEIMAGE image = ConvertSlot(movie->ring[i]);
        EXPECT_LE(LargestColourError(image, movie->ring[i].frame), 2) << "slot " << i;
        FreeBaseImagePixels(&image);
    }
}

TEST_F(TheoraDecoderTest, AConversionHappensOncePerFrame) {
    MemoryMovie movie(MovieOptions{});
    ASSERT_NE(movie.get(), nullptr);
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 0) << "converted at open";
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 0, 1), 0) << "no surface without a device";
    EXPECT_EQ(GetTheoraYuvSurface(movie.get()), nullptr);
    EXPECT_EQ(SeekTheoraFrame(movie.get(), 0), 0);
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 0) << "the same frame is not converted again";
    EXPECT_EQ(SeekTheoraFrame(movie.get(), 1), 0);
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 1);
    EXPECT_LE(LargestColourError(*GetTheoraFrameImage(movie.get()), 1), 2);
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 1), 0);
}

// Seeks decode from the last key frame before the target; a target past
// the end shows the last frame.
TEST_F(TheoraDecoderTest, SeeksShowTheTargetFrame) {
    MovieOptions o;
    o.frames = 30;
    o.keyFrameInterval = 8;
    MemoryMovie movie(o, 4);
    ASSERT_NE(movie.get(), nullptr);
    for (int target : {13, 29, 8, 0, 27, 100, -5}) {
        const int shown = std::clamp(target, 0, 29);
        SeekTheoraFrame(movie.get(), target);
        EXPECT_EQ(GetTheoraCurrentFrame(movie.get()), shown);
        ASSERT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 1) << target;
        EXPECT_LE(LargestColourError(*GetTheoraFrameImage(movie.get()), shown), 2) << target;
    }
    SeekTheoraFrame(movie.get(), 29);
    SeekTheoraFrame(movie.get(), 29000);
    ConvertTheoraFrame(movie.get(), 1, 0);
    EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 0) << "a seek to the frame shown already changes nothing";
    SeekTheoraFrame(movie.get(), 27);
    WaitForRingFull(movie.get());
    std::vector<int> frames = RingFrames(movie.get());
    std::sort(frames.begin(), frames.end());
    EXPECT_EQ(frames, (std::vector<int>{0, 27, 28, 29})) << "the look-ahead wraps past the end";
}

}  // namespace

namespace {

// With a device, a 4:2:0 movie gets a YV12 surface filled with the first
// frame's planes; the other layouts cannot hold 4:2:2 or 4:4:4 chroma and
// get no surface, and nothing is reported filled.
TEST_F(TheoraDecoderTest, YuvSurfaceOnlyFor420Movies) {
    ASSERT_EQ(CreateGraphicsDevice("recording"), 0);
    {
        MemoryMovie movie(MovieOptions{});
        ASSERT_NE(movie.get(), nullptr);
        DeviceSurface* surface = GetTheoraYuvSurface(movie.get());
        ASSERT_NE(surface, nullptr);
        EXPECT_EQ(movie->surfaceFormat, kFourCcYv12);
        EXPECT_EQ(ConvertTheoraFrame(movie.get(), 0, 1), 0) << "copied at open";
        void* bits;
        int pitch;
        ASSERT_EQ(LockDeviceSurface(surface, &bits, &pitch), 0);
        std::lock_guard<std::mutex> held(movie->lock);
        const TheoraFrameSlot& slot = movie->ring[FindTheoraSlot(movie.get(), 0)];
        const auto* b = static_cast<const uint8_t*>(bits);
        const int w = slot.yWidth, h = slot.yHeight;
        for (int y = 0; y < h; ++y)
            ASSERT_EQ(std::memcmp(b + y * pitch, slot.planes[0] + y * slot.yStride, w), 0) << "Y row " << y;
        const uint8_t* v = b + pitch * h;
        const uint8_t* u = v + (pitch / 2) * (h / 2);
        for (int y = 0; y < h / 2; ++y) {
            ASSERT_EQ(std::memcmp(v + y * (pitch / 2), slot.planes[2] + y * slot.chromaStride, w / 2), 0) << y;
            ASSERT_EQ(std::memcmp(u + y * (pitch / 2), slot.planes[1] + y * slot.chromaStride, w / 2), 0) << y;
        }
        UnlockDeviceSurface(surface);
    }
    for (th_pixel_fmt format : {TH_PF_422, TH_PF_444}) {
        MovieOptions o;
        o.pixelFormat = format;
        MemoryMovie movie(o);
        ASSERT_NE(movie.get(), nullptr);
        EXPECT_EQ(GetTheoraYuvSurface(movie.get()), nullptr) << format;
        SeekTheoraFrame(movie.get(), 1);
        EXPECT_EQ(ConvertTheoraFrame(movie.get(), 0, 1), 0) << "nothing was filled";
        EXPECT_EQ(ConvertTheoraFrame(movie.get(), 1, 0), 1);
    }
    ReleaseGraphicsDevice();
}

// Refusals: anything but Ogg, Ogg without a Theora stream (no message: the
// movie goes on to the other back end), and a Theora stream without frames,
// which is refused at once instead of waiting for a first frame for ever.
TEST_F(TheoraDecoderTest, FilesWithoutPicturesAreRefused) {
    ScopedTempDir dir;
    SetLogOutput(1);
    StartLog();
    EXPECT_EQ(MemoryMovie(std::vector<uint8_t>{'R', 'I', 'F', 'F', 0, 0, 0, 0}).get(), nullptr);
    EXPECT_EQ(MemoryMovie(std::vector<uint8_t>{'O', 'g', 'g'}).get(), nullptr);
    EXPECT_EQ(MemoryMovie(moviegen::WriteVorbisOnly()).get(), nullptr);
    EndLog();
    EXPECT_EQ(ScopedTempDir::ReadFile("Log.txt").find("Theora"), std::string::npos) << "no message";

    MovieOptions headersOnly;
    headersOnly.frames = 0;
    EXPECT_EQ(MemoryMovie(headersOnly).get(), nullptr);
    headersOnly.sound = true;
    EXPECT_EQ(MemoryMovie(headersOnly).get(), nullptr);
    EXPECT_EQ(MemoryMovie(MovieOptions{}, 0).get(), nullptr) << "a ring of no frames";
    FileAccessTable table = MemoryFileTable();
    EXPECT_EQ(OpenTheoraDecoder(nullptr, 1, 10), nullptr);
    EXPECT_EQ(OpenTheoraDecoder(&table, 0, 10), nullptr);
    SetLogOutput(0);
    EndLog();  // no log is left open in the folder that goes with the case
}

// Cut short or with bytes changed, a movie is refused or opens and shows
// some picture; either way nothing is read out of bounds and nothing waits
// for ever.
TEST_F(TheoraDecoderTest, DamagedMoviesAreRefusedOrShowAPicture) {
    MovieOptions o;
    o.frames = 12;
    o.sound = true;
    o.framesPerPage = 1;
    const std::vector<uint8_t> whole = WriteTheoraMovie(o);
    int opened = 0;
    for (size_t cut = 0; cut < whole.size(); cut += whole.size() / 23 + 1) {
        MemoryMovie movie(std::vector<uint8_t>(whole.begin(), whole.begin() + long(cut)));
        if (movie.get()) ++opened;
    }
    EXPECT_GT(opened, 3) << "cuts after the first frames still open";
    uint32_t seed = 12345;
    for (int round = 0; round < 40; ++round) {
        std::vector<uint8_t> bytes = whole;
        for (int i = 0; i < 1 + round % 5; ++i) {
            seed = seed * 1664525u + 1013904223u;
            bytes[(seed >> 8) % bytes.size()] ^= uint8_t(1 + (seed >> 3) % 255);
        }
        MemoryMovie movie(bytes, 3);
        if (!movie.get()) continue;
        SeekTheoraFrame(movie.get(), int(seed % 12));
        ConvertTheoraFrame(movie.get(), 1, 0);
    }
}

// The main thread and the decode thread meet only under the decoder's lock:
// opening, seeking and closing while the thread works.
TEST_F(TheoraDecoderTest, ManyDecodersOpenSeekAndCloseWhileTheirThreadsWork) {
    MovieOptions o;
    o.frames = 20;
    o.width = 64;
    o.height = 48;
    const std::vector<uint8_t> bytes = WriteTheoraMovie(o);
    for (int round = 0; round < 12; ++round) {
        MemoryMovie a(bytes, 1 + round % 4), b(bytes, 10);
        ASSERT_NE(a.get(), nullptr);
        ASSERT_NE(b.get(), nullptr);
        for (int step = 0; step < 6; ++step) {
            SeekTheoraFrame(a.get(), (round * 7 + step * 5) % 20);
            SeekTheoraFrame(b.get(), (round + step * 3) % 20);
            if (step % 2) ConvertTheoraFrame(a.get(), 1, 0);
        }
        EXPECT_EQ(ConvertTheoraFrame(b.get(), 1, 0), 1);
        EXPECT_LE(LargestColourError(*GetTheoraFrameImage(b.get()), GetTheoraCurrentFrame(b.get())), 2);
    }
}

}  // namespace
