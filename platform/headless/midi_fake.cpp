// Fake MIDI back end: stands in for the synthesiser in tests. Every piece
// lasts the length the test chose; while it plays it renders a quiet square
// wave so that tests can tell music from silence in the mixed output, and
// it counts what it was asked to do.
// Limits: the notes of the file are not read; one piece at a time.
// Depends on: nothing.
#include "headless/midi_fake.h"
#include "platform/lasting_state.h"
#include "platform/warning.h"

#include <mutex>

namespace morpotta::platform {
namespace {

constexpr int32_t kToneLevel = 1000;
constexpr int kTonePeriodFrames = 100;

struct FakeMidi {
    std::mutex mutex;
    uint32_t lengthMs = 1000;
    int rate = 0;
    uint64_t positionFrames = 0;
    FakeMidiStats stats{};
};

FakeMidi& FakeMidiState() {
    return LastingState<FakeMidi>();
}

uint64_t LengthFrames(const FakeMidi& s) { return uint64_t(s.lengthMs) * uint64_t(s.rate) / 1000; }

int FakeMidiOpen(const uint8_t*, size_t size, int rate) {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.stats.isOpen || rate <= 0) {
        Warn(s.stats.isOpen ? "the MIDI output is open already" : "MIDI output at %d Hz cannot open", rate);
        return -1;
    }
    s.rate = rate;
    s.positionFrames = 0;
    s.stats.isOpen = true;
    s.stats.playing = false;
    s.stats.openedBytes = size;
    ++s.stats.opens;
    return 0;
}

void FakeMidiClose() {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.stats.isOpen) return;
    s.stats.isOpen = false;
    s.stats.playing = false;
    ++s.stats.closes;
}

int FakeMidiPlay(uint32_t fromMs) {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.stats.isOpen || fromMs > s.lengthMs) {
        Warn(s.stats.isOpen ? "MIDI play from %u ms, past the piece's end" : "MIDI play from %u ms with nothing open", fromMs);
        return -1;
    }
    s.positionFrames = uint64_t(fromMs) * uint64_t(s.rate) / 1000;
    s.stats.playing = true;
    s.stats.lastFromMs = fromMs;
    ++s.stats.plays;
    return 0;
}

void FakeMidiStop() {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.stats.playing = false;
}

int FakeMidiRender(int32_t* accumulator, int frames) {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.stats.playing) return 0;
    const uint64_t length = LengthFrames(s);
    for (int i = 0; i < frames; ++i) {
        if (s.positionFrames >= length) {
            s.stats.playing = false;
            return 1;
        }
        int32_t v = (s.positionFrames / (kTonePeriodFrames / 2)) % 2 ? kToneLevel : -kToneLevel;
        accumulator[i * 2] += v;
        accumulator[i * 2 + 1] += v;
        ++s.positionFrames;
        ++s.stats.renderedFrames;
    }
    if (s.positionFrames >= length) {
        s.stats.playing = false;
        return 1;
    }
    return 0;
}

}  // namespace

const MidiBackend kFakeMidiBackend = {"fake", FakeMidiOpen, FakeMidiClose, FakeMidiPlay, FakeMidiStop, FakeMidiRender};

void SetFakeMidiLengthMs(uint32_t ms) {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.lengthMs = ms;
}

FakeMidiStats GetFakeMidiStats() {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.stats;
}

void ResetFakeMidiStats() {
    FakeMidi& s = FakeMidiState();
    std::lock_guard<std::mutex> lock(s.mutex);
    bool open = s.stats.isOpen, playing = s.stats.playing;
    s.stats = FakeMidiStats{};
    s.stats.isOpen = open;
    s.stats.playing = playing;
}

}  // namespace morpotta::platform
