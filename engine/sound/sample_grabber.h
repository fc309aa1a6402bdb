// The sample grabber: an in-place filter of the media graph that accepts
// only the media type it is told to, hands every sample passing through to
// a callback and passes it on when the callback returns kOk (kFalse drops
// it). It can also deliver into a caller's buffer through an allocator of
// its own.
#pragma once
#include "platform/mediagraph_base.h"

namespace morpotta {

namespace mg = platform::media;

// Called on the streaming thread with the grabber's lock held; times are
// the sample's plus the start of the current segment.
using SampleGrabberCallback = mg::Result (*)(mg::MediaSample* sample, int64_t* start, int64_t* stop, int typeChanged,
                                             void* user);

inline constexpr mg::Guid kClassSampleGrabber{0x2FA4F053, 0x6D60, 0x4CB0, {0x95, 0x03, 0x8E, 0x89, 0x23, 0x4F, 0x3F, 0x73}};
inline constexpr mg::Guid kIidSampleGrabber{0x6B652FFF, 0x11FE, 0x4FCE, {0x92, 0xAD, 0x02, 0x66, 0xB5, 0xD7, 0xC7, 0x8F}};

// The grabber's control interface, asked of the filter.
class D_ISampleGrabber : public mg::Unknown {
public:
    // Null accepts anything.
    virtual mg::Result SetAcceptedMediaType(const mg::MediaType* type) = 0;
    virtual mg::Result GetConnectedMediaType(mg::MediaType* out) = 0;  // kNotConnected
    virtual mg::Result SetCallback(SampleGrabberCallback callback, void* user) = 0;
    // Samples of the given size in buffer (one buffer only); before connecting.
    virtual mg::Result SetDeliveryBuffer(mg::AllocatorProperties properties, uint8_t* buffer) = 0;
};

// Samples laid out inside the caller's delivery buffer: one of the
// buffer's size at its prefix. The delivery buffer's properties stand,
// whatever a pin asks, so that no sample reaches past the buffer.
class SampleGrabberAllocator final : public mg::MemoryAllocator {
public:
    SampleGrabberAllocator(uint8_t* buffer, const mg::AllocatorProperties& properties)
        : buffer_(buffer), delivery_(properties) {}
    mg::Result SetProperties(const mg::AllocatorProperties& request, mg::AllocatorProperties* actual) override;

protected:
    mg::Result Alloc() override;

private:
    uint8_t* buffer_;
    mg::AllocatorProperties delivery_;
};

class D_CSampleGrabber;

class SampleGrabberInputPin final : public mg::InPlaceInputPin {
public:
    explicit SampleGrabberInputPin(D_CSampleGrabber* grabber);

    mg::Result GetMediaType(int position, mg::MediaType* out) override;
    mg::Result SetMediaType(const mg::MediaType& type) override;
    mg::Result GetAllocator(mg::MemAllocator** out) override;
    mg::Result NotifyAllocator(mg::MemAllocator* allocator, bool readOnly) override;
    mg::Result GetAllocatorRequirements(mg::AllocatorProperties* out) override;
    mg::Result SetDeliveryBuffer(const mg::AllocatorProperties& properties, uint8_t* buffer);

    // Read and cleared by the transform: the type changed since the last sample.
    bool TakeTypeChanged() { return typeChanged_.exchange(false); }

private:
    D_CSampleGrabber* grabber_;
    mg::Ref<SampleGrabberAllocator> private_;
    uint8_t* buffer_ = nullptr;
    mg::AllocatorProperties properties_;
    std::atomic<bool> typeChanged_{false};
};

class D_CSampleGrabber final : public mg::TransformInPlaceFilter, public D_ISampleGrabber {
public:
    // Aggregation is not supported (kNoAggregation).
    static D_CSampleGrabber* Create(mg::Unknown* outer, mg::Result* result);

    mg::Result QueryInterface(const mg::Guid& iid, void** out) override;
    uint32_t AddRef() override { return TransformInPlaceFilter::AddRef(); }
    uint32_t Release() override { return TransformInPlaceFilter::Release(); }

    mg::Result SetAcceptedMediaType(const mg::MediaType* type) override;
    mg::Result GetConnectedMediaType(mg::MediaType* out) override;
    mg::Result SetCallback(SampleGrabberCallback callback, void* user) override;
    mg::Result SetDeliveryBuffer(mg::AllocatorProperties properties, uint8_t* buffer) override;

    mg::Result CheckInputType(const mg::MediaType& type) override;
    mg::Result Transform(mg::MediaSample* sample) override;
    mg::MediaType AcceptedType();

private:
    D_CSampleGrabber() : TransformInPlaceFilter(kClassSampleGrabber, false) {}
    ~D_CSampleGrabber() override = default;

    std::recursive_mutex fieldsLock_;  // the accepted type, the callback and its user value
    mg::MediaType accepted_;
    SampleGrabberCallback callback_ = nullptr;
    void* user_ = nullptr;
};

}  // namespace morpotta
