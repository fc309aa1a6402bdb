// Headless window back end: a window that exists only as a flag, with an
// event queue that tests fill through HeadlessPushEvent. It has no GL
// context (graphics tests use SDL's off-screen driver for that) and offers
// exactly one display mode, 640x480x32 at 60 Hz. Pictures presented without
// GL are kept (the last one only) for tests to read back.
// While the window is open, SIGINT and SIGTERM ask it to close, as a window
// system's close button would (SDL does the same for the sdl2 back end):
// the next poll reports CloseRequested. The handlers before are put back at
// close, unless someone replaced ours meanwhile.
// Depends on: POSIX signals.
#include "headless/window_headless.h"
#include "platform/warning.h"

#include <signal.h>

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace morpotta::platform {
namespace {

std::mutex windowMutex;
std::deque<Event> queue;
bool open = false;
bool refuseOpen = false;
bool refusePresent = false;
int openCount = 0;
std::string title;
int clientWidth = 0;
int clientHeight = 0;
std::vector<uint32_t> presented;
int presentedWidth = 0;
int presentedHeight = 0;

std::atomic<bool> closeSignalled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
bool signalsTaken = false;
struct sigaction handlersBefore[2];
constexpr int kCloseSignals[2] = {SIGINT, SIGTERM};

void OnCloseSignal(int) { closeSignalled.store(true); }

void TakeCloseSignals() {
    closeSignalled.store(false);
    signalsTaken = true;
    struct sigaction action {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i) sigaction(kCloseSignals[i], &action, &handlersBefore[i]);
}

void GiveBackCloseSignals() {
    if (!signalsTaken) return;
    signalsTaken = false;
    for (int i = 0; i < 2; ++i) {
        struct sigaction now {};
        if (sigaction(kCloseSignals[i], nullptr, &now) == 0 && now.sa_handler == OnCloseSignal)
            sigaction(kCloseSignals[i], &handlersBefore[i], nullptr);
    }
}

void HeadlessSetClassName(const char*) {}

int HeadlessOpen(const WindowDesc& desc) {
    std::lock_guard<std::mutex> lock(windowMutex);
    if (open || refuseOpen) {
        Warn(open ? "a second window was asked for; one window is open already" : "no window: opening is refused");
        return -1;
    }
    open = true;
    ++openCount;
    title = desc.titleUtf8 ? desc.titleUtf8 : "";
    clientWidth = desc.width;
    clientHeight = desc.height;
    presented.clear();
    presentedWidth = presentedHeight = 0;
    TakeCloseSignals();
    return 0;
}

void HeadlessClose() {
    std::lock_guard<std::mutex> lock(windowMutex);
    GiveBackCloseSignals();
    open = false;
    queue.clear();
}

bool HeadlessIsOpen() {
    std::lock_guard<std::mutex> lock(windowMutex);
    return open;
}

void HeadlessSetTitle(const char* utf8) {
    std::lock_guard<std::mutex> lock(windowMutex);
    title = utf8 ? utf8 : "";
}

void HeadlessSetIcon(const uint32_t*, int, int) {}

bool HeadlessPollEvent(Event* out) {
    std::lock_guard<std::mutex> lock(windowMutex);
    if (open && closeSignalled.exchange(false)) {
        *out = Event{};
        out->type = EventType::CloseRequested;
        return true;
    }
    if (queue.empty()) return false;
    *out = queue.front();
    queue.pop_front();
    if (out->type == EventType::Destroyed) {
        open = false;
        GiveBackCloseSignals();
    }
    return true;
}

void HeadlessSetCursorVisible(bool) {}

bool HeadlessIsDisplayModeAvailable(int width, int height, int bitsPerPixel, int refreshHz) {
    return width == 640 && height == 480 && bitsPerPixel == 32 && (refreshHz == 0 || refreshHz == 60);
}

int HeadlessDesktopBitsPerPixel() { return 32; }
void HeadlessSetScreenSaverEnabled(bool) {}

void* HeadlessNativeHandle() {
    static int token;
    return HeadlessIsOpen() ? &token : nullptr;
}

void* HeadlessGlGetProcAddress(const char*) { return nullptr; }
void HeadlessGlSwapBuffers() {}
void HeadlessGlDrawableSize(int* width, int* height) {
    *width = 640;
    *height = 480;
}

void HeadlessWindowSize(int* width, int* height) {
    std::lock_guard<std::mutex> lock(windowMutex);
    *width = open ? clientWidth : 0;
    *height = open ? clientHeight : 0;
}

int HeadlessPresentPixels(const uint32_t* xrgb, int width, int height, int pitch) {
    std::lock_guard<std::mutex> lock(windowMutex);
    if (!open || refusePresent || !xrgb || width <= 0 || height <= 0 || pitch < width * 4) {
        Warn("a picture of %dx%d (pitch %d) cannot be presented%s", width, height, pitch,
             !open ? ": no window" : refusePresent ? ": presenting is refused" : "");
        return -1;
    }
    presented.resize(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(reinterpret_cast<const uint8_t*>(xrgb) + size_t(y) * size_t(pitch));
        for (int x = 0; x < width; ++x) presented[size_t(y) * size_t(width) + size_t(x)] = row[x] & 0x00FFFFFFu;
    }
    presentedWidth = width;
    presentedHeight = height;
    return 0;
}

}  // namespace

const WindowBackend kHeadlessWindowBackend = {
    "headless", HeadlessSetClassName, HeadlessOpen, HeadlessClose, HeadlessIsOpen, HeadlessSetTitle, HeadlessSetIcon, HeadlessPollEvent, HeadlessSetCursorVisible,
    HeadlessIsDisplayModeAvailable, HeadlessDesktopBitsPerPixel, HeadlessSetScreenSaverEnabled, HeadlessNativeHandle,
    HeadlessGlGetProcAddress, HeadlessGlSwapBuffers, HeadlessGlDrawableSize, HeadlessWindowSize, HeadlessPresentPixels,
};

void HeadlessPushEvent(const Event& event) {
    std::lock_guard<std::mutex> lock(windowMutex);
    queue.push_back(event);
}

void HeadlessRefuseOpen(bool refuse) {
    std::lock_guard<std::mutex> lock(windowMutex);
    refuseOpen = refuse;
}

void HeadlessRefusePresent(bool refuse) {
    std::lock_guard<std::mutex> lock(windowMutex);
    refusePresent = refuse;
}

int HeadlessOpenCount() {
    std::lock_guard<std::mutex> lock(windowMutex);
    return openCount;
}

const char* HeadlessTitle() {
    std::lock_guard<std::mutex> lock(windowMutex);
    return title.c_str();
}

void HeadlessSetWindowSize(int width, int height) {
    std::lock_guard<std::mutex> lock(windowMutex);
    clientWidth = width;
    clientHeight = height;
}

bool HeadlessPresentedPixels(const uint32_t** pixels, int* width, int* height) {
    std::lock_guard<std::mutex> lock(windowMutex);
    if (presented.empty()) return false;
    *pixels = presented.data();
    *width = presentedWidth;
    *height = presentedHeight;
    return true;
}

}  // namespace morpotta::platform
