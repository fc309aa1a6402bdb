// The sample grabber filter, its input pin and its delivery-buffer allocator.
#include "sound/sample_grabber.h"

#include <new>

namespace morpotta {

mg::Result SampleGrabberAllocator::SetProperties(const mg::AllocatorProperties&, mg::AllocatorProperties* actual) {
    return MemoryAllocator::SetProperties(delivery_, actual);
}

mg::Result SampleGrabberAllocator::Alloc() {
    mg::Result r = CheckAlloc();
    if (r != mg::kOk) return r;
    FreeSamples();
    if (!buffer_) return mg::kOutOfMemory;
    int64_t stride = int64_t(properties_.bufferSize) + properties_.prefix;
    if (properties_.alignment > 1) stride = (stride + properties_.alignment - 1) / properties_.alignment * properties_.alignment;
    for (int32_t i = 0; i < properties_.buffers; ++i)
        AddSample(buffer_ + properties_.prefix + stride * i, properties_.bufferSize);
    changed_ = false;
    return mg::kOk;
}

SampleGrabberInputPin::SampleGrabberInputPin(D_CSampleGrabber* grabber)
    : InPlaceInputPin(grabber, "Input"), grabber_(grabber) {}

mg::Result SampleGrabberInputPin::GetMediaType(int position, mg::MediaType* out) {
    if (!out) return mg::kPointer;
    if (position < 0) return mg::kInvalidArg;
    if (position > 0) return mg::kNoMoreItems;
    *out = grabber_->AcceptedType();
    return mg::kOk;
}

mg::Result SampleGrabberInputPin::SetMediaType(const mg::MediaType& type) {
    typeChanged_.store(true);
    return InPlaceInputPin::SetMediaType(type);
}

mg::Result SampleGrabberInputPin::GetAllocator(mg::MemAllocator** out) {
    if (!out) return mg::kPointer;
    if (!private_) return InPlaceInputPin::GetAllocator(out);
    private_->AddRef();
    *out = private_.Get();
    return mg::kOk;
}

mg::Result SampleGrabberInputPin::NotifyAllocator(mg::MemAllocator* allocator, bool readOnly) {
    if (private_) {
        if (allocator != private_.Get()) return mg::kFail;
        if (readOnly && grabber_->ModifiesData()) return mg::kFail;
    }
    return InPlaceInputPin::NotifyAllocator(allocator, readOnly);
}

mg::Result SampleGrabberInputPin::GetAllocatorRequirements(mg::AllocatorProperties* out) {
    if (!private_) return InPlaceInputPin::GetAllocatorRequirements(out);
    if (!out) return mg::kPointer;
    *out = properties_;
    return mg::kOk;
}

mg::Result SampleGrabberInputPin::SetDeliveryBuffer(const mg::AllocatorProperties& properties, uint8_t* buffer) {
    if (properties.buffers != 1) return mg::kInvalidArg;
    if (!buffer) return mg::kPointer;
    buffer_ = buffer;
    properties_ = properties;
    private_.Reset();
    auto* allocator = new (std::nothrow) SampleGrabberAllocator(buffer, properties);
    if (!allocator) return mg::kOutOfMemory;
    private_ = mg::Ref<SampleGrabberAllocator>::Adopt(allocator);
    return mg::kOk;
}

D_CSampleGrabber* D_CSampleGrabber::Create(mg::Unknown* outer, mg::Result* result) {
    mg::Result ignored;
    if (!result) result = &ignored;
    if (outer) {
        *result = mg::kNoAggregation;
        return nullptr;
    }
    auto* grabber = new (std::nothrow) D_CSampleGrabber;
    auto* pin = grabber ? new (std::nothrow) SampleGrabberInputPin(grabber) : nullptr;
    if (!pin) {
        if (grabber) grabber->Release();
        *result = mg::kOutOfMemory;
        return nullptr;
    }
    grabber->InstallPins(std::unique_ptr<mg::InPlaceInputPin>(pin));
    *result = mg::kOk;
    return grabber;
}

mg::Result D_CSampleGrabber::QueryInterface(const mg::Guid& iid, void** out) {
    if (!out) return mg::kPointer;
    if (iid == kIidSampleGrabber) return mg::HandOut<D_ISampleGrabber>(this, out);
    return TransformInPlaceFilter::QueryInterface(iid, out);
}

mg::Result D_CSampleGrabber::SetAcceptedMediaType(const mg::MediaType* type) {
    std::lock_guard<std::recursive_mutex> hold(fieldsLock_);
    accepted_ = type ? *type : mg::MediaType{};
    return mg::kOk;
}

mg::MediaType D_CSampleGrabber::AcceptedType() {
    std::lock_guard<std::recursive_mutex> hold(fieldsLock_);
    return accepted_;
}

mg::Result D_CSampleGrabber::GetConnectedMediaType(mg::MediaType* out) {
    if (!out) return mg::kPointer;
    if (!Input()->IsConnected()) return mg::kNotConnected;
    return Input()->ConnectionMediaType(out);
}

mg::Result D_CSampleGrabber::SetCallback(SampleGrabberCallback callback, void* user) {
    std::lock_guard<std::recursive_mutex> hold(fieldsLock_);
    callback_ = callback;
    user_ = user;
    return mg::kOk;
}

mg::Result D_CSampleGrabber::SetDeliveryBuffer(mg::AllocatorProperties properties, uint8_t* buffer) {
    if (!Input() || !Output()) return mg::kPointer;
    if (Input()->IsConnected() || Output()->IsConnected()) return mg::kInvalidArg;
    return static_cast<SampleGrabberInputPin*>(Input())->SetDeliveryBuffer(properties, buffer);
}

mg::Result D_CSampleGrabber::CheckInputType(const mg::MediaType& type) {
    std::lock_guard<std::recursive_mutex> hold(fieldsLock_);
    return mg::MediaTypeMatches(accepted_, type) ? mg::kOk : mg::kInvalidMediaType;
}

mg::Result D_CSampleGrabber::Transform(mg::MediaSample* sample) {
    std::lock_guard<std::recursive_mutex> hold(fieldsLock_);
    if (!callback_) return mg::kOk;
    int64_t start = 0, stop = 0;
    sample->GetTime(&start, &stop);
    const int64_t segment = Input()->SegmentStart();
    start += segment;
    stop += segment;
    mg::Result r = callback_(sample, &start, &stop,
                             static_cast<SampleGrabberInputPin*>(Input())->TakeTypeChanged() ? 1 : 0, user_);
    return r;
}

}  // namespace morpotta
