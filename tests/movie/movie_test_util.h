// Decoders over generated movies in memory or in files, and reading back
// what they decoded.
#pragma once
#include "graphics/device/device.h"
#include "engine/files.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/stream.h"
#include "foundation/log_internal.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_to_rgb.h"
#include "memory_file_table.h"
#include "scoped_temp_dir.h"
#include "theora_movie_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

using namespace morpotta;

namespace movietest {

using moviegen::MovieOptions;
using moviegen::WriteTheoraMovie;

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A decoder over bytes in memory, closed with the object.
class MemoryMovie {
public:
    explicit MemoryMovie(std::vector<uint8_t> bytes, int ringSize = 10)
        : bytes_(std::move(bytes)), table_(MemoryFileTable()) {
        stream_ = OpenMemStream(bytes_.data(), bytes_.size());
        decoder_ = OpenTheoraDecoder(&table_, reinterpret_cast<FileHandle>(stream_), ringSize);
    }
    explicit MemoryMovie(const MovieOptions& options, int ringSize = 10)
        : MemoryMovie(WriteTheoraMovie(options), ringSize) {}
    ~MemoryMovie() {
        CloseTheoraDecoder(decoder_);
        CloseMemStream(stream_);
    }
    MemoryMovie(const MemoryMovie&) = delete;
    MemoryMovie& operator=(const MemoryMovie&) = delete;
    TheoraDecoder* get() const { return decoder_; }
    TheoraDecoder* operator->() const { return decoder_; }

private:
    std::vector<uint8_t> bytes_;
    FileAccessTable table_;
    MemStream* stream_ = nullptr;
    TheoraDecoder* decoder_ = nullptr;
};

// Waits until the decode thread has nothing more to do.
inline void WaitForRingFull(TheoraDecoder* d) {
    std::unique_lock<std::mutex> held(d->lock);
    d->mainWake.wait(held, [d] {
        return !d->seekRequest && (d->threadState == THEORA_THREAD_RING_FULL || d->threadState == THEORA_THREAD_ENDED);
    });
}

inline std::vector<int> RingFrames(TheoraDecoder* d) {
    std::lock_guard<std::mutex> held(d->lock);
    std::vector<int> frames;
    for (int i = 0; i < d->ringSize; ++i)
        if (d->ring[i].used) frames.push_back(d->ring[i].frame);
    return frames;
}

// The largest difference of any channel of any pixel from the frame's
// encoded picture; also fails when a pixel's fourth byte is not 255.
inline int LargestColourError(const BASEIMAGE& image, int frame) {
    int worst = 0;
    for (int y = 0; y < image.height; ++y) {
        const uint8_t* row = static_cast<const uint8_t*>(image.pixels) + size_t(y) * image.pitch;
        for (int x = 0; x < image.width; ++x) {
            const moviegen::Rgb want = moviegen::PictureColour(x, y, frame);
            const uint8_t* p = row + 4 * x;
            EXPECT_EQ(p[3], 255) << x << "," << y;
            worst = std::max({worst, std::abs(p[2] - want.red), std::abs(p[1] - want.green),
                              std::abs(p[0] - want.blue)});
        }
    }
    return worst;
}

// The picture of a ring slot converted on its own.
inline BASEIMAGE ConvertSlot(const TheoraFrameSlot& s) {
    BASEIMAGE image{};
    CreateBaseImageXrgb32(s.yWidth, s.yHeight, &image);
    YuvPlanes planes{s.planes[0], s.planes[1], s.planes[2], s.yWidth, s.yHeight, s.yStride,
                     s.chromaWidth, s.chromaHeight, s.chromaStride};
    if (IsYuv420(planes))
        ConvertYuv420ToXrgb(planes, static_cast<uint8_t*>(image.pixels), image.pitch, image.width, image.height);
    else
        ConvertYuvFloatToXrgb(planes, static_cast<uint8_t*>(image.pixels), image.pitch, image.width, image.height);
    return image;
}

class MovieTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogOutput(0);
        BuildYuvToRgbTables();
        liveBefore_ = GetMemoryTotals().liveBlocks;
    }
    void TearDown() override { EXPECT_EQ(GetMemoryTotals().liveBlocks, liveBefore_) << "tracked blocks leaked"; }
    size_t liveBefore_ = 0;
};

}  // namespace movietest
