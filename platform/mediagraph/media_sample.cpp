// Samples and the memory allocator that hands them out.
#include "mediagraph/mediagraph_internal.h"

#include <new>

namespace morpotta::platform::media {

Sample::Sample(MemoryAllocator* owner, uint8_t* buffer, int32_t size) : owner_(owner), buffer_(buffer), size_(size) {}

Result Sample::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kPointer;
    if (iid == kIidUnknown || iid == kIidMediaSample) return HandOut<MediaSample>(this, out);
    *out = nullptr;
    return kNoInterface;
}

uint32_t Sample::AddRef() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }

uint32_t Sample::Release() {
    uint32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) owner_->ReleaseBuffer(this);
    return left;
}

Result Sample::GetPointer(uint8_t** out) {
    if (!out) return kPointer;
    *out = buffer_;
    return kOk;
}

Result Sample::GetTime(int64_t* start, int64_t* stop) {
    if (!start || !stop) return kPointer;
    if (!timeValid_) return kTimeNotSet;
    *start = start_;
    *stop = stop_;
    return kOk;
}

Result Sample::SetTime(const int64_t* start, const int64_t* stop) {
    timeValid_ = start != nullptr;
    start_ = start ? *start : 0;
    stop_ = start ? (stop ? *stop : *start + 1) : 0;
    return kOk;
}

Result Sample::SetActualDataLength(int32_t length) {
    if (length < 0 || length > size_) return kBufferOverflow;
    actual_ = length;
    return kOk;
}

Result Sample::GetMediaType(MediaType* out) {
    if (!out) return kPointer;
    if (!type_) return kFalse;
    *out = *type_;
    return kOk;
}

Result Sample::SetMediaType(const MediaType* type) {
    if (!type) {
        type_.reset();
        return kOk;
    }
    type_.reset(new (std::nothrow) MediaType(*type));
    return type_ ? kOk : kOutOfMemory;
}

void Sample::ResetForUse() {
    count_.store(1, std::memory_order_relaxed);
    actual_ = 0;
    timeValid_ = false;
    start_ = stop_ = 0;
    discontinuity_ = false;
    type_.reset();
    stream_ = Stream::Media;
}

MemoryAllocator::~MemoryAllocator() = default;

Result MemoryAllocator::SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) {
    if (!actual) return kPointer;
    std::lock_guard<std::mutex> hold(lock_);
    if (committed_ || outstanding_ > 0) return kWrongState;
    if (request.buffers < 0 || request.bufferSize < 0 || request.prefix < 0 || request.alignment < 0)
        return kInvalidArg;
    AllocatorProperties p = request;
    if (p.alignment == 0) p.alignment = 1;
    if ((p.alignment & (p.alignment - 1)) != 0) return kInvalidArg;
    properties_ = p;
    changed_ = true;
    *actual = p;
    return kOk;
}

Result MemoryAllocator::GetProperties(AllocatorProperties* out) {
    if (!out) return kPointer;
    std::lock_guard<std::mutex> hold(lock_);
    *out = properties_;
    return kOk;
}

Result MemoryAllocator::CheckAlloc() {
    if (properties_.buffers <= 0 || properties_.bufferSize <= 0) return kSizeNotSet;
    if (!samples_.empty() && !changed_) return kFalse;
    return kOk;
}

Result MemoryAllocator::Alloc() {
    Result r = CheckAlloc();
    if (r != kOk) return r;
    FreeSamples();
    const int64_t align = properties_.alignment > 1 ? properties_.alignment : 1;
    const int64_t stride = (int64_t(properties_.prefix) + properties_.bufferSize + align - 1) / align * align;
    const int64_t bytes = stride * properties_.buffers + align;
    if (bytes > (int64_t(1) << 31)) return kOutOfMemory;
    block_.reset(new (std::nothrow) uint8_t[size_t(bytes)]);
    if (!block_) return kOutOfMemory;
    auto base = reinterpret_cast<uintptr_t>(block_.get());
    uint8_t* first = block_.get() + (uintptr_t(align) - base % uintptr_t(align)) % uintptr_t(align);
    for (int32_t i = 0; i < properties_.buffers; ++i)
        AddSample(first + stride * i + properties_.prefix, properties_.bufferSize);
    changed_ = false;
    return kOk;
}

void MemoryAllocator::AddSample(uint8_t* buffer, int32_t size) {
    samples_.push_back(std::make_unique<Sample>(this, buffer, size));
    free_.push_back(samples_.back().get());
}

void MemoryAllocator::FreeSamples() {
    free_.clear();
    samples_.clear();
    block_.reset();
}

Result MemoryAllocator::Commit() {
    std::lock_guard<std::mutex> hold(lock_);
    if (committed_) return kOk;
    // A decommit still waiting for samples keeps them: nothing to build.
    if (decommitPending_) {
        decommitPending_ = false;
        committed_ = true;
        return kOk;
    }
    Result r = Alloc();
    if (Failed(r)) return r;
    committed_ = true;
    return kOk;
}

Result MemoryAllocator::Decommit() {
    std::lock_guard<std::mutex> hold(lock_);
    if (!committed_) return kOk;
    committed_ = false;
    if (outstanding_ > 0) {
        decommitPending_ = true;
    } else {
        FreeSamples();
    }
    sampleFreed_.notify_all();
    return kOk;
}

Result MemoryAllocator::GetBuffer(MediaSample** out) {
    if (!out) return kPointer;
    *out = nullptr;
    std::unique_lock<std::mutex> hold(lock_);
    sampleFreed_.wait(hold, [&] { return !committed_ || !free_.empty(); });
    if (!committed_) return kNotCommitted;
    Sample* s = free_.back();
    free_.pop_back();
    s->ResetForUse();
    ++outstanding_;
    AddRefObject();  // a sample out keeps its allocator
    *out = s;
    return kOk;
}

Result MemoryAllocator::ReleaseBuffer(MediaSample* sample) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto* s = static_cast<Sample*>(sample);
        s->type_.reset();
        free_.push_back(s);
        if (--outstanding_ == 0 && decommitPending_) {
            decommitPending_ = false;
            FreeSamples();
        }
        sampleFreed_.notify_one();
    }
    ReleaseObject();
    return kOk;
}

Unknown* CreateMemoryAllocator() { return new (std::nothrow) MemoryAllocator; }

}  // namespace morpotta::platform::media
