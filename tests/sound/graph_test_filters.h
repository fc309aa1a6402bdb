// Small filters for driving the media graph from a test: a source whose
// samples the test pushes on its own thread, and a renderer that keeps what
// reaches it.
#pragma once
#include "platform/mediagraph_base.h"

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace morpotta;

namespace graphtest {

namespace mg = platform::media;

constexpr mg::Guid kClassTestSource{0x11111111, 0x2222, 0x3333, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr mg::Guid kClassTestRenderer{0x11111111, 0x2222, 0x3333, {8, 7, 6, 5, 4, 3, 2, 1}};

inline mg::MediaType Pcm(uint32_t rate, uint16_t channels) {
    platform::AcmWaveFormat f{1, channels, rate, rate * 2u * channels, uint16_t(2 * channels), 16, 0};
    return mg::MakePcmMediaType(f);
}

inline int ListedThreads() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/task")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n;
}

// Threads of the process, after one has come and gone (so that a
// sanitizer's helper thread, started with the first, is counted already).
// The kernel lists a joined thread for a moment after the join returns:
// the count is taken once that one is gone and two readings agree.
inline int ThreadCount() {
    pid_t tid = 0;
    std::thread([&tid] { tid = gettid(); }).join();
    const std::string listed = "/proc/self/task/" + std::to_string(tid);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (access(listed.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    int n = ListedThreads();
    for (int again = ListedThreads(); again != n && std::chrono::steady_clock::now() < end; again = ListedThreads()) {
        n = again;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return n;
}

// True once the process is down to `count` threads again (threads just
// joined may be listed a moment longer); false after a generous deadline.
inline bool ThreadCountComesBackTo(int count) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ListedThreads() != count) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class PushSource final : public mg::BaseFilter {
public:
    explicit PushSource(mg::MediaType type) : BaseFilter(kClassTestSource), pin_(this), type_(std::move(type)) {}
    int PinCount() override { return 1; }
    mg::BasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }

    // One sample of these bytes at start (100 ns units), delivered downstream.
    mg::Result Push(const std::vector<uint8_t>& bytes, int64_t start, const mg::MediaType* newType = nullptr,
                    uint8_t** where = nullptr) {
        mg::Ref<mg::MediaSample> s;
        mg::Result r = pin_.GetDeliveryBuffer(s.Out());
        if (mg::Failed(r)) return r;
        uint8_t* p = nullptr;
        s->GetPointer(&p);
        if (where) *where = p;
        std::memcpy(p, bytes.data(), bytes.size());
        s->SetActualDataLength(int32_t(bytes.size()));
        int64_t stop = start + 1000;
        s->SetTime(&start, &stop);
        if (newType) s->SetMediaType(newType);
        return pin_.Deliver(s.Get());
    }
    mg::BaseOutputPin& Out() { return pin_; }

private:
    class Pin final : public mg::BaseOutputPin {
    public:
        explicit Pin(PushSource* source) : BaseOutputPin(source, "Output"), source_(source) {}
        mg::Result CheckMediaType(const mg::MediaType& type) override {
            return mg::MediaTypeMatches(source_->type_, type) ? mg::kOk : mg::kTypeNotAccepted;
        }
        mg::Result GetMediaType(int n, mg::MediaType* out) override {
            if (n != 0) return mg::BasePin::GetMediaType(n, out);
            *out = source_->type_;
            return mg::kOk;
        }
        mg::Result DecideBufferSize(mg::MemAllocator* a, mg::AllocatorProperties* request) override {
            if (request->buffers < 2) request->buffers = 2;
            if (request->bufferSize < 4096) request->bufferSize = 4096;
            mg::AllocatorProperties actual;
            return a->SetProperties(*request, &actual);
        }

    private:
        PushSource* source_;
    };
    Pin pin_;
    mg::MediaType type_;
};

class KeepingRenderer final : public mg::BaseRenderer {
public:
    KeepingRenderer() : BaseRenderer(kClassTestRenderer) {}
    mg::Result CheckMediaType(const mg::MediaType&) override { return mg::kOk; }
    mg::Result DoRenderSample(mg::MediaSample* s) override {
        uint8_t* p = nullptr;
        s->GetPointer(&p);
        std::lock_guard<std::mutex> hold(lock_);
        bytes_.insert(bytes_.end(), p, p + s->GetActualDataLength());
        ++samples_;
        return mg::kOk;
    }
    int Samples() {
        std::lock_guard<std::mutex> hold(lock_);
        return samples_;
    }
    std::vector<uint8_t> Bytes() {
        std::lock_guard<std::mutex> hold(lock_);
        return bytes_;
    }

private:
    std::mutex lock_;
    std::vector<uint8_t> bytes_;
    int samples_ = 0;
};

inline mg::Ref<mg::GraphBuilder> NewGraph() {
    mg::Ref<mg::GraphBuilder> g;
    mg::CreateMediaObject(mg::kClassFilterGraph, nullptr, mg::kContextInprocServer, mg::kIidGraphBuilder, g.OutVoid());
    return g;
}

inline mg::Ref<mg::Pin> PinOf(mg::Filter* f, mg::PinDirection direction) {
    mg::Ref<mg::EnumPins> e;
    f->EnumPins(e.Out());
    mg::Pin* p = nullptr;
    while (e->Next(&p) == mg::kOk) {
        mg::Ref<mg::Pin> pin = mg::Ref<mg::Pin>::Adopt(p);
        if (pin->Direction() == direction) return pin;
    }
    return nullptr;
}

inline mg::Filter* PeerFilter(mg::Pin* pin) {
    mg::Ref<mg::Pin> peer;
    return pin && pin->ConnectedTo(peer.Out()) == mg::kOk ? peer->Owner() : nullptr;
}

}  // namespace graphtest
