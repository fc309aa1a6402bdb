// Null audio back end: stands in for a sound card. Nothing is played, but
// the callback runs as a card would pull it: on a thread of its own, one
// period at a time as real time passes, so sounds end when their length has
// passed. A test that needs the mix to be deterministic holds the clock
// instead (UseManualNullAudioClock): the callback then runs only when the
// test advances it (AdvanceNullAudio), on the test's own thread. What was
// mixed can be kept for comparison.
// Limits: one device; the real-time clock mixes a period once it has
// wholly passed, so it runs up to one period (and the thread's wake-up)
// behind real time, and catches up after a stall.
// Depends on: the C++ standard library's threads and steady clock.
#include "headless/audio_null.h"
#include "platform/lasting_state.h"
#include "platform/warning.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace morpotta::platform {
namespace {

// In periods like a sound card's, so cursors move in steps as they would.
constexpr int kPeriod = 512;

struct NullAudio {
    std::mutex mutex;  // guards the fields below, not the callback
    bool open = false;
    int rate = 0;
    AudioCallback callback = nullptr;
    void* user = nullptr;
    bool capture = false;
    std::vector<int16_t> captured;
    bool manualClock = false;  // for the next open
    bool clockHeld = false;    // this open mixes only when advanced
    std::thread clock;         // the real-time clock of an open that is not held
    bool stopClock = false;
    std::condition_variable clockWake;
};

NullAudio& NullAudioState() {
    return LastingState<NullAudio>();
}

// Runs the callback for frames frames, period by period.
void Mix(NullAudio& s, AudioCallback callback, void* user, int frames) {
    int16_t block[kPeriod * 2];
    while (frames > 0) {
        int n = frames < kPeriod ? frames : kPeriod;
        callback(user, block, n);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (s.capture) s.captured.insert(s.captured.end(), block, block + n * 2);
        frames -= n;
    }
}

// The clock of an output that is not held: every period that has passed
// since the open is mixed, until the output closes.
void RunRealTimeClock(AudioCallback callback, void* user, int rate) {
    NullAudio& s = NullAudioState();
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    const auto period = std::chrono::microseconds(int64_t(kPeriod) * 1000000 / rate);
    int64_t mixed = 0;
    std::unique_lock<std::mutex> lock(s.mutex);
    while (!s.stopClock) {
        const int64_t elapsedUs = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
        const int64_t due = elapsedUs * rate / 1000000;
        if (due - mixed >= kPeriod) {
            // At most 64 periods between looks at stopClock, so that a
            // catch-up after a stall never holds a close up for long.
            const int frames = int(std::min<int64_t>((due - mixed) / kPeriod, 64) * kPeriod);
            lock.unlock();
            Mix(s, callback, user, frames);
            lock.lock();
            mixed += frames;
            continue;
        }
        s.clockWake.wait_for(lock, period);
    }
}

int NullAudioOpen(int rate, AudioCallback callback, void* user) {
    NullAudio& s = NullAudioState();
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
    s.clockHeld = s.manualClock;
    s.stopClock = false;
    if (!s.clockHeld) s.clock = std::thread(RunRealTimeClock, callback, user, rate);
    return 0;
}

void NullAudioClose() {
    NullAudio& s = NullAudioState();
    std::thread clock;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.stopClock = true;
        clock.swap(s.clock);
    }
    // Outside the lock, which the clock takes between periods; once it has
    // ended, the callback is never called again.
    s.clockWake.notify_all();
    if (clock.joinable()) clock.join();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.open = false;
    s.rate = 0;
    s.callback = nullptr;
    s.user = nullptr;
}

void NullAudioEnumerateDevices(AudioDeviceVisitor visit, void* context) {
    if (visit) visit(context, "null", "Null audio output");
}

}  // namespace

const AudioBackend kNullAudioBackend = {"null", NullAudioOpen, NullAudioClose, NullAudioEnumerateDevices};

void UseManualNullAudioClock(bool on) {
    NullAudio& s = NullAudioState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.manualClock = on;
}

int AdvanceNullAudio(int frames) {
    NullAudio& s = NullAudioState();
    AudioCallback callback;
    void* user;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        if (!s.open || !s.clockHeld) return -1;
        callback = s.callback;
        user = s.user;
    }
    Mix(s, callback, user, frames);
    return 0;
}

void SetNullAudioCapture(bool on) {
    NullAudio& s = NullAudioState();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.capture = on;
    s.captured.clear();
}

std::vector<int16_t> TakeNullAudioCapture() {
    NullAudio& s = NullAudioState();
    std::lock_guard<std::mutex> lock(s.mutex);
    std::vector<int16_t> out;
    out.swap(s.captured);
    return out;
}

int NullAudioRate() {
    NullAudio& s = NullAudioState();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.rate;
}

}  // namespace morpotta::platform
