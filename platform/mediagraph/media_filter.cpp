// The base filter: state changes that activate and deactivate its pins,
// graph membership and its pins.
#include "mediagraph/mediagraph_internal.h"

#include <new>

namespace morpotta::platform::media {
BaseFilter::BaseFilter(const Guid& classId) : classId_(classId) {}

Result BaseFilter::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kPointer;
    if (iid == kIidUnknown || iid == kIidFilter) return HandOut<Filter>(this, out);
    *out = nullptr;
    return kNoInterface;
}

Result BaseFilter::Stop() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_.load() == FilterState::Stopped) return kOk;
    for (int i = 0; i < PinCount(); ++i) {
        BasePin* pin = GetPin(i);
        if (pin && pin->IsConnected()) pin->Inactive();
    }
    state_.store(FilterState::Stopped);
    return kOk;
}

Result BaseFilter::Pause() {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_.load() == FilterState::Stopped) {
        for (int i = 0; i < PinCount(); ++i) {
            BasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected()) continue;
            Result r = pin->Active();
            if (Failed(r)) {
                for (int j = 0; j < i; ++j)
                    if (GetPin(j) && GetPin(j)->IsConnected()) GetPin(j)->Inactive();
                return r;
            }
        }
    }
    state_.store(FilterState::Paused);
    return kOk;
}

Result BaseFilter::Run(int64_t) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (state_.load() == FilterState::Stopped) {
        Result r = Pause();
        if (Failed(r)) return r;
    }
    state_.store(FilterState::Running);
    return kOk;
}

Result BaseFilter::EnumPins(media::EnumPins** out) {
    if (!out) return kPointer;
    std::vector<Ref<Pin>> pins;
    for (int i = 0; i < PinCount(); ++i)
        if (BasePin* pin = GetPin(i)) pins.push_back(Ref<Pin>(pin));
    *out = new (std::nothrow) RefListEnum<media::EnumPins, Pin, kIidEnumPins>(std::move(pins));
    return *out ? kOk : kOutOfMemory;
}

Result BaseFilter::JoinFilterGraph(GraphEventSink* graph, const char* name) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    graph_.store(graph);
    name_ = graph && name ? name : "";
    return kOk;
}

Result BaseFilter::NotifyEvent(int32_t code, intptr_t param1, intptr_t param2) {
    GraphEventSink* graph = graph_.load();
    return graph ? graph->NotifyEvent(code, param1, param2) : kFalse;
}

}  // namespace morpotta::platform::media
