// Null audio back end: stands in for a sound card. Nothing is played; the
// callback runs only when a test advances the device's clock
// (AdvanceNullAudio), on the test's own thread, so mixing is deterministic.
// What was mixed can be kept for comparison.
// Limits: no real time at all; one device.
// Depends on: nothing.
#include "headless/audio_null.h"
#include "platform/warning.h"

#include <mutex>

namespace platform {
namespace {

struct NullAudio {
    std::mutex mutex;  // guards the fields below, not the callback
    bool open = false;
    int rate = 0;
    AudioCallback callback = nullptr;
    void* user = nullptr;
    bool capture = false;
    std::vector<int16_t> captured;
};

NullAudio& State() {
    static NullAudio state;
    return state;
}

int Open(int rate, AudioCallback callback, void* user) {
    NullAudio& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.open || rate <= 0 || !callback) {
        Warn(s.open ? "the null audio output is open already" : "null audio output at %d Hz without a callback cannot open",
             rate);
        return -1;
    }
    s.open = true;
    s.rate = rate;
    s.callback = callback;
    s.user = user;
    return 0;
}

void Close() {
    NullAudio& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.open = false;
    s.rate = 0;
    s.callback = nullptr;
    s.user = nullptr;
}

void EnumerateDevices(AudioDeviceVisitor visit, void* context) {
    if (visit) visit(context, "null", "Null audio output");
}

}  // namespace

const AudioBackend kNullAudioBackend = {"null", Open, Close, EnumerateDevices};

int AdvanceNullAudio(int frames) {
    NullAudio& s = State();
    AudioCallback callback;
    void* user;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.open) return -1;
        callback = s.callback;
        user = s.user;
    }
    // In periods like a sound card's, so cursors move in steps as they would.
    constexpr int kPeriod = 512;
    int16_t block[kPeriod * 2];
    while (frames > 0) {
        int n = frames < kPeriod ? frames : kPeriod;
        callback(user, block, n);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.capture) s.captured.insert(s.captured.end(), block, block + n * 2);
        frames -= n;
    }
    return 0;
}

void SetNullAudioCapture(bool on) {
    NullAudio& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.capture = on;
    s.captured.clear();
}

std::vector<int16_t> TakeNullAudioCapture() {
    NullAudio& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<int16_t> out;
    out.swap(s.captured);
    return out;
}

int NullAudioRate() {
    NullAudio& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.rate;
}

}  // namespace platform
