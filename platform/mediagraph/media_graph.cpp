// The filter graph: membership, connection and rendering of pins, running
// and stopping its filters, and the events it reports to its caller.
#include "mediagraph/mediagraph_internal.h"
#include "platform/codepage.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <new>
#include <string>

namespace morpotta::platform::media {
namespace {

constexpr int kMaxRenderDepth = 8;  // filters in a row that Render may add

std::vector<Ref<Pin>> PinsOf(Filter* filter) {
    std::vector<Ref<Pin>> pins;
    Ref<EnumPins> e;
    if (Failed(filter->EnumPins(e.Out())) || !e) return pins;
    Pin* pin = nullptr;
    while (e->Next(&pin) == kOk) pins.push_back(Ref<Pin>::Adopt(pin));
    return pins;
}

bool IsConnected(Pin* pin) {
    Ref<Pin> peer;
    return pin->ConnectedTo(peer.Out()) == kOk;
}

// Both ends.
void DisconnectPin(Pin* pin) {
    Ref<Pin> peer;
    if (pin->ConnectedTo(peer.Out()) == kOk) peer->Disconnect();
    pin->Disconnect();
}

// A filter at the end of a stream: a connected input and no output.
bool IsRenderer(Filter* filter) {
    bool connectedInput = false;
    for (const Ref<Pin>& pin : PinsOf(filter)) {
        if (pin->Direction() == PinDirection::Output) return false;
        if (IsConnected(pin.Get())) connectedInput = true;
    }
    return connectedInput;
}

class FilterGraph final : protected CountedObject,
                          public GraphBuilder,
                          public MediaControl,
                          public MediaEvent,
                          public MediaFilter,
                          public BasicAudio,
                          public MediaSeeking,
                          public GraphEventSink {
public:
    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out) return kPointer;
        if (iid == kIidUnknown || iid == kIidGraphBuilder) return HandOut<GraphBuilder>(this, out);
        if (iid == kIidMediaControl) return HandOut<MediaControl>(this, out);
        if (iid == kIidMediaEvent) return HandOut<MediaEvent>(this, out);
        if (iid == kIidMediaFilter) return HandOut<MediaFilter>(this, out);
        if (iid == kIidBasicAudio) return HandOut<BasicAudio>(this, out);
        if (iid == kIidMediaSeeking) return HandOut<MediaSeeking>(this, out);
        *out = nullptr;
        return kNoInterface;
    }
    uint32_t AddRef() override { return AddRefObject(); }
    uint32_t Release() override { return ReleaseObject(); }

    Result AddFilter(Filter* filter, const char* name) override;
    Result RemoveFilter(Filter* filter) override;
    Result EnumFilters(media::EnumFilters** out) override;
    Result ConnectDirect(Pin* output, Pin* input, const MediaType* type) override;
    Result Connect(Pin* output, Pin* input) override;
    Result Disconnect(Pin* pin) override;
    Result Render(Pin* output) override;
    Result RenderFile(const char16_t* fileName, const char16_t* playList) override;

    Result Run() override;
    Result Stop() override;
    Result GetState(FilterState* out) override;

    Result WaitForCompletion(int32_t timeoutMs, int32_t* code) override;
    Result SetSyncSource(Unknown* clock) override { return clock ? kNotImplemented : kOk; }
    Result NotifyEvent(int32_t code, intptr_t param1, intptr_t param2) override;

    // The renderers of this back end play no sound: the levels are kept
    // for whoever asks.
    Result SetVolume(int32_t volume) override;
    Result GetVolume(int32_t* volume) override;
    Result SetBalance(int32_t balance) override;
    Result GetBalance(int32_t* balance) override;

    Result GetDuration(int64_t* duration) override;
    Result GetCurrentPosition(int64_t* position) override;

private:
    ~FilterGraph() override;

    struct Member {
        Ref<Filter> filter;
        std::string name;
    };
    // What a Render attempt did, undone in reverse when it fails.
    struct Step {
        Ref<Pin> connected;  // an output pin it connected
        Ref<Filter> added;   // or a filter it added
    };

    bool Contains(Filter* filter) const;
    std::string UniqueName(const char* name) const;
    std::vector<Ref<Filter>> Snapshot() const;
    std::vector<Ref<Filter>> DownstreamFirst() const;
    void StopAll();
    Result TryPins(Pin* output, Filter* filter);
    Result RenderPin(Pin* output, int depth);
    Result RenderOutputs(Filter* filter, int depth);
    Ref<Filter> AddRegistered(const MediaClass& c);
    void Undo(size_t mark);

    Ref<MediaSeeking> SeekingFilter() const;

    std::recursive_mutex lock_;
    std::vector<Member> members_;
    int32_t volume_ = 0;
    int32_t balance_ = 0;
    FilterState state_ = FilterState::Stopped;
    std::vector<Step> steps_;

    struct Event {
        int32_t code;
        intptr_t param1;
    };
    std::mutex eventLock_;
    std::condition_variable eventArrived_;
    std::deque<Event> events_;
    bool running_ = false;
    int renderersLeft_ = 0;
};

FilterGraph::~FilterGraph() {
    StopAll();
    for (Member& m : members_) {
        for (const Ref<Pin>& pin : PinsOf(m.filter.Get())) DisconnectPin(pin.Get());
        m.filter->JoinFilterGraph(nullptr, nullptr);
    }
}

bool FilterGraph::Contains(Filter* filter) const {
    return std::any_of(members_.begin(), members_.end(), [&](const Member& m) { return m.filter.Get() == filter; });
}

std::string FilterGraph::UniqueName(const char* name) const {
    std::string base = name && *name ? name : "Filter";
    auto taken = [&](const std::string& n) {
        return std::any_of(members_.begin(), members_.end(), [&](const Member& m) { return m.name == n; });
    };
    std::string candidate = base;
    for (int i = 1; taken(candidate); ++i) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, " %04d", i);
        candidate = base + suffix;
    }
    return candidate;
}

std::vector<Ref<Filter>> FilterGraph::Snapshot() const {
    std::vector<Ref<Filter>> all;
    for (const Member& m : members_) all.push_back(m.filter);
    return all;
}

// Filters whose connected outputs all lead to filters already listed come
// first, so that a stream's end is ready before its source.
std::vector<Ref<Filter>> FilterGraph::DownstreamFirst() const {
    std::vector<Ref<Filter>> left = Snapshot(), order;
    auto listed = [&](Filter* f) {
        return std::any_of(order.begin(), order.end(), [&](const Ref<Filter>& o) { return o.Get() == f; });
    };
    while (!left.empty()) {
        auto ready = std::find_if(left.begin(), left.end(), [&](const Ref<Filter>& f) {
            for (const Ref<Pin>& pin : PinsOf(f.Get())) {
                Ref<Pin> peer;
                if (pin->Direction() == PinDirection::Output && pin->ConnectedTo(peer.Out()) == kOk &&
                    !listed(peer->Owner()))
                    return false;
            }
            return true;
        });
        if (ready == left.end()) ready = left.begin();  // a loop: take any
        order.push_back(*ready);
        left.erase(ready);
    }
    return order;
}

Result FilterGraph::AddFilter(Filter* filter, const char* name) {
    if (!filter) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (Contains(filter)) return kDuplicateFilter;
    std::string unique = UniqueName(name);
    Result r = filter->JoinFilterGraph(this, unique.c_str());
    if (Failed(r)) return r;
    members_.push_back({Ref<Filter>(filter), unique});
    return kOk;
}

Result FilterGraph::RemoveFilter(Filter* filter) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto it = std::find_if(members_.begin(), members_.end(), [&](const Member& m) { return m.filter.Get() == filter; });
    if (it == members_.end()) return kNotInGraph;
    filter->Stop();
    for (const Ref<Pin>& pin : PinsOf(filter)) DisconnectPin(pin.Get());
    filter->JoinFilterGraph(nullptr, nullptr);
    members_.erase(it);
    return kOk;
}

Result FilterGraph::EnumFilters(media::EnumFilters** out) {
    if (!out) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *out = new (std::nothrow) RefListEnum<media::EnumFilters, Filter, kIidEnumFilters>(Snapshot());
    return *out ? kOk : kOutOfMemory;
}

Result FilterGraph::ConnectDirect(Pin* output, Pin* input, const MediaType* type) {
    if (!output || !input) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!Contains(output->Owner()) || !Contains(input->Owner())) return kNotInGraph;
    return output->Connect(input, type);
}

Result FilterGraph::Connect(Pin* output, Pin* input) {
    Result r = ConnectDirect(output, input, nullptr);
    return Failed(r) && r != kNotInGraph && r != kAlreadyConnected && r != kPointer ? kCannotConnect : r;
}

Result FilterGraph::Disconnect(Pin* pin) {
    if (!pin) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return pin->Disconnect();
}

Ref<Filter> FilterGraph::AddRegistered(const MediaClass& c) {
    Unknown* object = c.create();
    if (!object) return nullptr;
    Ref<Filter> filter = Query<Filter>(object, kIidFilter);
    object->Release();
    if (!filter || Failed(AddFilter(filter.Get(), c.name))) return nullptr;
    steps_.push_back({nullptr, filter});
    return filter;
}

void FilterGraph::Undo(size_t mark) {
    while (steps_.size() > mark) {
        Step step = std::move(steps_.back());
        steps_.pop_back();
        if (step.connected) DisconnectPin(step.connected.Get());
        if (step.added) RemoveFilter(step.added.Get());
    }
}

// Connects output to a free input pin of filter: kOk, or a failure.
Result FilterGraph::TryPins(Pin* output, Filter* filter) {
    for (const Ref<Pin>& pin : PinsOf(filter)) {
        if (pin->Direction() != PinDirection::Input || IsConnected(pin.Get())) continue;
        if (output->Connect(pin.Get(), nullptr) == kOk) {
            steps_.push_back({Ref<Pin>(output), nullptr});
            return kOk;
        }
    }
    return kCannotConnect;
}

Result FilterGraph::RenderOutputs(Filter* filter, int depth) {
    for (const Ref<Pin>& pin : PinsOf(filter)) {
        if (pin->Direction() != PinDirection::Output || IsConnected(pin.Get())) continue;
        Result r = RenderPin(pin.Get(), depth);
        if (Failed(r)) return r;
    }
    return kOk;
}

Result FilterGraph::RenderPin(Pin* output, int depth) {
    if (depth > kMaxRenderDepth) return kCannotRender;
    for (const Ref<Filter>& f : Snapshot()) {
        if (f.Get() == output->Owner()) continue;
        const size_t mark = steps_.size();
        if (TryPins(output, f.Get()) == kOk && RenderOutputs(f.Get(), depth + 1) == kOk) return kOk;
        Undo(mark);
    }
    for (const MediaClass& c : RegisteredMediaClasses()) {
        if (c.merit == kMeritDoNotUse) continue;
        const size_t mark = steps_.size();
        Ref<Filter> f = AddRegistered(c);
        if (f && TryPins(output, f.Get()) == kOk && RenderOutputs(f.Get(), depth + 1) == kOk) return kOk;
        Undo(mark);
    }
    return kCannotRender;
}

Result FilterGraph::Render(Pin* output) {
    if (!output) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (output->Direction() != PinDirection::Output) return kInvalidArg;
    if (!Contains(output->Owner())) return kNotInGraph;
    if (IsConnected(output)) return kAlreadyConnected;
    Result r = RenderPin(output, 0);
    if (Failed(r)) Undo(0);
    steps_.clear();
    return r;
}

Result FilterGraph::RenderFile(const char16_t* fileName, const char16_t* playList) {
    if (!fileName) return kPointer;
    if (playList) return kInvalidArg;
    std::string path;
    if (!Utf16ToUtf8(fileName, path) || path.empty()) return kInvalidArg;
    Unknown* object = CreateMovieSource();
    if (!object) return kOutOfMemory;
    Ref<FileSourceFilter> loader = Query<FileSourceFilter>(object, kIidFileSource);
    Ref<Filter> source = Query<Filter>(object, kIidFilter);
    object->Release();
    if (!loader || !source) return kUnexpected;
    Result r = loader->Load(path.c_str());
    if (Failed(r)) return r;

    std::lock_guard<std::recursive_mutex> hold(lock_);
    const size_t slash = path.find_last_of('/');
    r = AddFilter(source.Get(), path.c_str() + (slash == std::string::npos ? 0 : slash + 1));
    if (Failed(r)) return r;
    int rendered = 0;
    for (const Ref<Pin>& pin : PinsOf(source.Get()))
        if (pin->Direction() == PinDirection::Output && Render(pin.Get()) == kOk) ++rendered;
    if (rendered == 0) {
        RemoveFilter(source.Get());
        return kCannotRender;
    }
    return kOk;
}

Result FilterGraph::SetVolume(int32_t volume) {
    if (volume < -10000 || volume > 0) return kInvalidArg;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    volume_ = volume;
    return kOk;
}

Result FilterGraph::GetVolume(int32_t* volume) {
    if (!volume) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *volume = volume_;
    return kOk;
}

Result FilterGraph::SetBalance(int32_t balance) {
    if (balance < -10000 || balance > 10000) return kInvalidArg;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    balance_ = balance;
    return kOk;
}

Result FilterGraph::GetBalance(int32_t* balance) {
    if (!balance) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *balance = balance_;
    return kOk;
}

Ref<MediaSeeking> FilterGraph::SeekingFilter() const {
    for (const Member& m : members_)
        if (Ref<MediaSeeking> seeking = Query<MediaSeeking>(m.filter.Get(), kIidMediaSeeking)) return seeking;
    return nullptr;
}

Result FilterGraph::GetDuration(int64_t* duration) {
    if (!duration) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    Ref<MediaSeeking> seeking = SeekingFilter();
    return seeking ? seeking->GetDuration(duration) : kNotImplemented;
}

Result FilterGraph::GetCurrentPosition(int64_t* position) {
    if (!position) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    Ref<MediaSeeking> seeking = SeekingFilter();
    return seeking ? seeking->GetCurrentPosition(position) : kNotImplemented;
}

Result FilterGraph::Run() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_ == FilterState::Running) return kOk;
    std::vector<Ref<Filter>> order = DownstreamFirst();
    {
        std::lock_guard<std::mutex> events(eventLock_);
        events_.clear();
        renderersLeft_ = int(std::count_if(order.begin(), order.end(), [](const Ref<Filter>& f) { return IsRenderer(f.Get()); }));
        running_ = true;
    }
    for (int phase = 0; phase < 2; ++phase) {
        for (const Ref<Filter>& f : order) {
            Result r = phase == 0 ? f->Pause() : f->Run(0);
            if (Failed(r)) {
                StopAll();
                return r;
            }
        }
    }
    state_ = FilterState::Running;
    return kOk;
}

void FilterGraph::StopAll() {
    for (const Ref<Filter>& f : DownstreamFirst()) f->Stop();
    state_ = FilterState::Stopped;
    std::lock_guard<std::mutex> events(eventLock_);
    running_ = false;
    eventArrived_.notify_all();
}

Result FilterGraph::Stop() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    StopAll();
    return kOk;
}

Result FilterGraph::GetState(FilterState* out) {
    if (!out) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(lock_);
    *out = state_;
    return kOk;
}

Result FilterGraph::NotifyEvent(int32_t code, intptr_t param1, intptr_t) {
    std::lock_guard<std::mutex> events(eventLock_);
    if (code == kEventComplete) {
        if (renderersLeft_ <= 0 || --renderersLeft_ > 0) return kOk;
    }
    events_.push_back({code, param1});
    eventArrived_.notify_all();
    return kOk;
}

Result FilterGraph::WaitForCompletion(int32_t timeoutMs, int32_t* code) {
    if (!code) return kPointer;
    *code = 0;
    std::unique_lock<std::mutex> events(eventLock_);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        if (!running_) return kWrongState;
        while (!events_.empty()) {
            Event e = events_.front();
            events_.pop_front();
            if (e.code == kEventComplete || e.code == kEventUserAbort || e.code == kEventErrorAbort) {
                *code = e.code;
                return kOk;
            }
        }
        if (timeoutMs < 0) {
            eventArrived_.wait(events);
        } else if (eventArrived_.wait_until(events, until) == std::cv_status::timeout && events_.empty()) {
            return kAbort;
        }
    }
}

}  // namespace

Unknown* CreateFilterGraph() { return static_cast<GraphBuilder*>(new (std::nothrow) FilterGraph); }

}  // namespace morpotta::platform::media
