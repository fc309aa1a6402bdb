// Building blocks for filters of the media graph: counted objects, samples
// and the memory allocator, base pins and filters, an in-place transform
// and a renderer. Filters outside the platform layer (the engine's own)
// derive from these.
// Locking: each filter has one re-entrant lock for its state and its pins'
// connections; connections change only while the filter is stopped, and a
// stopped filter has no streaming thread, so the streaming path reads them
// without the lock.
#pragma once
#include "platform/mediagraph.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace morpotta::platform::media {

// The reference count of an object: starts at one for its creator; the
// last Release deletes the object. Listed as the first base, so that the
// object starts where the count does.
class CountedObject {
protected:
    virtual ~CountedObject() = default;
    uint32_t AddRefObject() { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t ReleaseObject() {
        uint32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<uint32_t> count_{1};
};

// Hands out p as the interface asked for, with a reference.
template <typename I>
Result HandOut(I* p, void** out) {
    p->AddRef();
    *out = p;
    return kOk;
}

// An object with one interface of its own besides Unknown.
template <typename I, const Guid& kIid>
class SingleInterfaceObject : protected CountedObject, public I {
public:
    Result QueryInterface(const Guid& iid, void** out) override {
        if (!out) return kPointer;
        if (iid == kIidUnknown || iid == kIid) return HandOut<I>(this, out);
        *out = nullptr;
        return kNoInterface;
    }
    uint32_t AddRef() override { return AddRefObject(); }
    uint32_t Release() override { return ReleaseObject(); }
};

class MemoryAllocator;

// A buffer of an allocator. Its last Release hands it back to the allocator.
class Sample final : public MediaSample {
public:
    Sample(MemoryAllocator* owner, uint8_t* buffer, int32_t size);

    Result QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    Result GetPointer(uint8_t** out) override;
    int32_t GetSize() override { return size_; }
    Result GetTime(int64_t* start, int64_t* stop) override;
    Result SetTime(const int64_t* start, const int64_t* stop) override;
    int32_t GetActualDataLength() override { return actual_; }
    Result SetActualDataLength(int32_t length) override;
    bool IsDiscontinuity() override { return discontinuity_; }
    void SetDiscontinuity(bool on) override { discontinuity_ = on; }
    Result GetMediaType(MediaType* out) override;
    Result SetMediaType(const MediaType* type) override;
    Stream GetStream() override { return stream_; }
    void SetStream(Stream stream) override { stream_ = stream; }

private:
    friend class MemoryAllocator;
    void ResetForUse();  // a fresh sample as GetBuffer hands it out

    MemoryAllocator* owner_;
    uint8_t* buffer_;
    int32_t size_;
    int32_t actual_ = 0;
    bool timeValid_ = false;
    int64_t start_ = 0;
    int64_t stop_ = 0;
    bool discontinuity_ = false;
    std::unique_ptr<MediaType> type_;
    Stream stream_ = Stream::Media;
    std::atomic<uint32_t> count_{0};
};

// Samples over one block of memory, as many and as large as the properties
// ask. A sample handed out keeps the allocator alive; a decommit frees the
// samples once all of them are back.
class MemoryAllocator : public SingleInterfaceObject<MemAllocator, kIidMemAllocator> {
public:
    MemoryAllocator() = default;

    Result SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) override;
    Result GetProperties(AllocatorProperties* out) override;
    Result Commit() override;
    Result Decommit() override;
    Result GetBuffer(MediaSample** out) override;
    Result ReleaseBuffer(MediaSample* sample) override;

protected:
    ~MemoryAllocator() override;
    // Builds the samples for the current properties, lock held. The base
    // checks first: kFalse when the samples already fit the properties.
    virtual Result Alloc();
    Result CheckAlloc();
    // Frees every sample (all are back), lock held.
    void FreeSamples();
    void AddSample(uint8_t* buffer, int32_t size);

    std::mutex lock_;
    AllocatorProperties properties_;
    bool changed_ = false;  // properties set since the samples were built

private:
    std::condition_variable sampleFreed_;
    std::vector<std::unique_ptr<Sample>> samples_;
    std::vector<Sample*> free_;
    std::unique_ptr<uint8_t[]> block_;
    bool committed_ = false;
    bool decommitPending_ = false;
    int outstanding_ = 0;
};

class BaseFilter;

class BasePin : public Pin {
public:
    BasePin(BaseFilter* filter, const char* name, PinDirection direction);
    ~BasePin() override;

    Result QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override;
    uint32_t Release() override;
    Result Connect(Pin* receivePin, const MediaType* type) override;
    Result ReceiveConnection(Pin* connector, const MediaType& type) override;
    Result Disconnect() override;
    Result ConnectedTo(Pin** out) override;
    Result ConnectionMediaType(MediaType* out) override;
    Filter* Owner() override;
    PinDirection Direction() override { return direction_; }
    const char* Name() override { return name_.c_str(); }
    Result QueryAccept(const MediaType& type) override { return CheckMediaType(type); }
    Result EnumMediaTypes(media::EnumMediaTypes** out) override;
    Result EndOfStream() override { return kOk; }
    Result BeginFlush() override { return kOk; }
    Result EndFlush() override { return kOk; }
    Result NewSegment(int64_t start, int64_t stop, double rate) override;

    // What derived pins choose.
    virtual Result CheckMediaType(const MediaType& type) = 0;
    // position < 0: kInvalidArg; past the last: kNoMoreItems.
    virtual Result GetMediaType(int position, MediaType* out);
    virtual Result SetMediaType(const MediaType& type);
    // Called on the connecting pin after the peer accepted, and on the
    // receiving pin before it accepts.
    virtual Result CheckConnect(Pin* peer);
    virtual Result BreakConnect() { return kOk; }
    virtual Result CompleteConnect(Pin* peer);
    // Before the filter leaves the stopped state, and after it stops.
    virtual Result Active() { return kOk; }
    virtual Result Inactive() { return kOk; }

    bool IsConnected() const { return static_cast<bool>(peer_); }
    Pin* Peer() const { return peer_.Get(); }
    const MediaType& CurrentMediaType() const { return type_; }
    int64_t SegmentStart() const { return segmentStart_.load(); }
    BaseFilter* OwnerFilter() const { return filter_; }

protected:
    Result TryConnect(Pin* receivePin, const MediaType& type);
    void ClearConnection();

    BaseFilter* filter_;
    std::string name_;
    PinDirection direction_;
    Ref<Pin> peer_;
    MediaType type_;
    std::atomic<int64_t> segmentStart_{0};
};

// An output pin that pushes samples into a MemInputPin.
class BaseOutputPin : public BasePin {
public:
    BaseOutputPin(BaseFilter* filter, const char* name);

    Result CompleteConnect(Pin* peer) override;
    Result BreakConnect() override;
    Result Active() override;
    Result Inactive() override;

    virtual Result DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) = 0;
    virtual Result DecideAllocator(MemInputPin* input, MemAllocator** out);
    virtual Result InitAllocator(MemAllocator** out);

    Result GetDeliveryBuffer(MediaSample** out);
    Result Deliver(MediaSample* sample);
    Result DeliverEndOfStream();
    Result DeliverBeginFlush();
    Result DeliverEndFlush();
    Result DeliverNewSegment(int64_t start, int64_t stop, double rate);
    MemAllocator* Allocator() const { return allocator_.Get(); }

protected:
    Ref<MemAllocator> allocator_;
    Ref<MemInputPin> input_;
};

// An input pin that receives pushed samples.
class BaseInputPin : public BasePin, public MemInputPin {
public:
    BaseInputPin(BaseFilter* filter, const char* name);

    Result QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override { return BasePin::AddRef(); }
    uint32_t Release() override { return BasePin::Release(); }
    Result GetAllocator(MemAllocator** out) override;
    Result NotifyAllocator(MemAllocator* allocator, bool readOnly) override;
    Result GetAllocatorRequirements(AllocatorProperties* out) override;
    // Checks that the pin may take a sample: kWrongState while stopped,
    // kFalse while flushing or after the end of the stream; a sample that
    // changes the type must carry an acceptable one, which becomes the pin's.
    Result Receive(MediaSample* sample) override;
    Result EndOfStream() override;
    Result BeginFlush() override;
    Result EndFlush() override;
    Result BreakConnect() override;
    Result Inactive() override;

    MemAllocator* Allocator() const { return allocator_.Get(); }
    bool IsFlushing() const { return flushing_.load(); }

protected:
    Ref<MemAllocator> allocator_;
    bool readOnly_ = false;
    std::atomic<bool> flushing_{false};
    std::atomic<bool> atEnd_{false};
};

class BaseFilter : protected CountedObject, public Filter {
public:
    explicit BaseFilter(const Guid& classId);

    Result QueryInterface(const Guid& iid, void** out) override;
    uint32_t AddRef() override { return AddRefObject(); }
    uint32_t Release() override { return ReleaseObject(); }
    Guid ClassId() override { return classId_; }
    Result Stop() override;
    Result Pause() override;
    Result Run(int64_t start) override;
    FilterState State() override { return state_.load(); }
    Result EnumPins(media::EnumPins** out) override;
    Result JoinFilterGraph(GraphEventSink* graph, const char* name) override;
    const char* Name() override { return name_.c_str(); }

    virtual int PinCount() = 0;
    virtual BasePin* GetPin(int n) = 0;  // null outside 0 .. PinCount() - 1

    std::recursive_mutex& FilterLock() { return lock_; }
    // Reports to the graph the filter is in (kFalse outside one).
    Result NotifyEvent(int32_t code, intptr_t param1, intptr_t param2);

protected:
    ~BaseFilter() override = default;

    std::recursive_mutex lock_;
    std::atomic<FilterState> state_{FilterState::Stopped};

private:
    Guid classId_;
    std::atomic<GraphEventSink*> graph_{nullptr};
    std::string name_;
};

class InPlaceOutputPin;
class TransformInPlaceFilter;

// The input pin of an in-place transform: types pass through unchanged.
class InPlaceInputPin : public BaseInputPin {
public:
    InPlaceInputPin(TransformInPlaceFilter* filter, const char* name);

    Result CheckMediaType(const MediaType& type) override;
    Result EnumMediaTypes(media::EnumMediaTypes** out) override;
    Result Receive(MediaSample* sample) override;
    Result EndOfStream() override;
    Result BeginFlush() override;
    Result EndFlush() override;
    Result NewSegment(int64_t start, int64_t stop, double rate) override;

protected:
    TransformInPlaceFilter* transform_;
};

class InPlaceOutputPin : public BaseOutputPin {
public:
    explicit InPlaceOutputPin(TransformInPlaceFilter* filter);

    Result CheckMediaType(const MediaType& type) override;
    Result GetMediaType(int position, MediaType* out) override;
    // Offers the input's allocator downstream first, so that samples pass
    // through without a copy.
    Result DecideAllocator(MemInputPin* input, MemAllocator** out) override;
    Result DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) override;

private:
    TransformInPlaceFilter* transform_;
};

// A filter that hands each sample to Transform and passes it on in place.
class TransformInPlaceFilter : public BaseFilter {
public:
    int PinCount() override { return 2; }
    BasePin* GetPin(int n) override;

    virtual Result CheckInputType(const MediaType& type) = 0;
    // kOk passes the sample on, kFalse drops it, a failure stops it.
    virtual Result Transform(MediaSample* sample) = 0;
    // Stream-control samples go straight on; a sample from an allocator
    // other than the output's is copied first.
    virtual Result Receive(MediaSample* sample);

    InPlaceInputPin* Input() const { return input_.get(); }
    InPlaceOutputPin* Output() const { return output_.get(); }
    bool ModifiesData() const { return modifiesData_; }

protected:
    TransformInPlaceFilter(const Guid& classId, bool modifiesData);
    ~TransformInPlaceFilter() override;
    void InstallPins(std::unique_ptr<InPlaceInputPin> input);

private:
    Result CopySample(MediaSample* source, MediaSample** out);

    bool modifiesData_;
    std::unique_ptr<InPlaceInputPin> input_;
    std::unique_ptr<InPlaceOutputPin> output_;
};

// A filter with one input pin that ends a stream. It reports the end of
// its stream to the graph once it runs.
class BaseRenderer : public BaseFilter {
public:
    int PinCount() override { return 1; }
    BasePin* GetPin(int n) override;
    Result Stop() override;
    Result Run(int64_t start) override;

    virtual Result CheckMediaType(const MediaType& type) = 0;
    virtual Result SetMediaType(const MediaType&) { return kOk; }
    virtual Result DoRenderSample(MediaSample*) { return kOk; }

protected:
    explicit BaseRenderer(const Guid& classId);
    ~BaseRenderer() override;

private:
    class InputPin;
    void OnEndOfStream();
    void ClearEndOfStream();

    std::unique_ptr<InputPin> input_;
    std::mutex endLock_;
    bool endOfStream_ = false;
    bool completeSent_ = false;
};

}  // namespace morpotta::platform::media
