// The media graph's class table, which object creation and the graph's
// Render share.
#pragma once
#include "platform/mediagraph_base.h"

#include <span>
#include <vector>

namespace morpotta::platform::media {

// Render tries registered filters from the highest merit down; a class of
// merit 0 is made only when asked for by id.
constexpr uint32_t kMeritDoNotUse = 0;
constexpr uint32_t kMeritNormal = 0x600000;
constexpr uint32_t kMeritPreferred = 0x800000;

struct MediaClass {
    Guid id;
    const char* name;
    uint32_t merit;
    Unknown* (*create)();  // one reference for the caller, or null when memory is short
};

// By merit, highest first.
std::span<const MediaClass> RegisteredMediaClasses();

// An enumerator over a list taken when it was made.
template <typename Enum, typename Item, const Guid& kIid>
class RefListEnum final : public SingleInterfaceObject<Enum, kIid> {
public:
    explicit RefListEnum(std::vector<Ref<Item>> items) : items_(std::move(items)) {}
    Result Next(Item** out) override {
        if (!out) return kPointer;
        *out = nullptr;
        if (position_ >= items_.size()) return kFalse;
        *out = items_[position_++].Get();
        (*out)->AddRef();
        return kOk;
    }
    Result Reset() override {
        position_ = 0;
        return kOk;
    }

private:
    std::vector<Ref<Item>> items_;
    size_t position_ = 0;
};

Unknown* CreateFilterGraph();
Unknown* CreateNullRenderer();
Unknown* CreateAudioRenderer();
Unknown* CreateMpegAudioDecoder();
Unknown* CreateMemoryAllocator();
Unknown* CreateMovieSource();

}  // namespace morpotta::platform::media
