// Base pins: connection by agreeing on a media type, the push transport
// of output and input pins, and the media type enumerator.
#include "mediagraph/mediagraph_internal.h"

#include <new>

namespace morpotta::platform::media {
namespace {

// Walks a pin's types through its GetMediaType.
// Walks a pin's types through its GetMediaType.
class PinTypeEnum final : public SingleInterfaceObject<EnumMediaTypes, kIidEnumMediaTypes> {
public:
    explicit PinTypeEnum(BasePin* pin) : hold_(pin), pin_(pin) {}
    Result Next(MediaType* out) override {
        if (!out) return kPointer;
        if (pin_->GetMediaType(position_, out) != kOk) return kFalse;
        ++position_;
        return kOk;
    }
    Result Reset() override {
        position_ = 0;
        return kOk;
    }

private:
    Ref<Pin> hold_;
    BasePin* pin_;
    int position_ = 0;
};

bool IsComplete(const MediaType& t) {
    return !(t.majorType == kGuidNull) && !(t.subtype == kGuidNull) && !(t.formatType == kGuidNull);
}

}  // namespace

BasePin::BasePin(BaseFilter* filter, const char* name, PinDirection direction)
    : filter_(filter), name_(name ? name : ""), direction_(direction) {}

BasePin::~BasePin() = default;

Result BasePin::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kPointer;
    if (iid == kIidUnknown || iid == kIidPin) return HandOut<Pin>(this, out);
    *out = nullptr;
    return kNoInterface;
}

uint32_t BasePin::AddRef() { return filter_->AddRef(); }
uint32_t BasePin::Release() { return filter_->Release(); }
Filter* BasePin::Owner() { return filter_; }

Result BasePin::Connect(Pin* receivePin, const MediaType* type) {
    if (!receivePin) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (peer_) return kAlreadyConnected;
    if (filter_->State() != FilterState::Stopped) return kNotStopped;
    if (receivePin->Direction() == direction_) return kInvalidArg;
    if (type && IsComplete(*type)) return TryConnect(receivePin, *type);

    // The receiving pin's own types first, then ours.
    Result last = kNoAcceptableTypes;
    for (int side = 0; side < 2; ++side) {
        Ref<media::EnumMediaTypes> types;
        Result r = side == 0 ? receivePin->EnumMediaTypes(types.Out()) : EnumMediaTypes(types.Out());
        if (Failed(r) || !types) continue;
        MediaType candidate;
        while (types->Next(&candidate) == kOk) {
            if (type && !MediaTypeMatches(*type, candidate)) continue;
            r = TryConnect(receivePin, candidate);
            if (r == kOk) return kOk;
            // A peer refused for what it is, not for the type: no other type helps.
            if (r == kFail || r == kNoTransport) return r;
            last = kNoAcceptableTypes;
        }
    }
    return last;
}

Result BasePin::TryConnect(Pin* receivePin, const MediaType& type) {
    if (CheckMediaType(type) != kOk) return kTypeNotAccepted;
    peer_ = Ref<Pin>(receivePin);
    type_ = type;
    Result r = receivePin->ReceiveConnection(this, type);
    if (Failed(r)) {
        BreakConnect();
        ClearConnection();
        return kTypeNotAccepted;
    }
    r = CheckConnect(receivePin);
    if (Succeeded(r)) r = SetMediaType(type);
    if (Succeeded(r)) r = CompleteConnect(receivePin);
    if (Failed(r)) {
        receivePin->Disconnect();
        BreakConnect();
        ClearConnection();
        return r;
    }
    return kOk;
}

Result BasePin::ReceiveConnection(Pin* connector, const MediaType& type) {
    if (!connector) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (peer_) return kAlreadyConnected;
    if (filter_->State() != FilterState::Stopped) return kNotStopped;
    if (connector->Direction() == direction_) return kInvalidArg;
    Result r = CheckConnect(connector);
    if (Failed(r)) {
        BreakConnect();
        return r;
    }
    if (CheckMediaType(type) != kOk) {
        BreakConnect();
        return kTypeNotAccepted;
    }
    peer_ = Ref<Pin>(connector);
    type_ = type;
    r = SetMediaType(type);
    if (Succeeded(r)) r = CompleteConnect(connector);
    if (Failed(r)) {
        BreakConnect();
        ClearConnection();
        return r;
    }
    return kOk;
}

void BasePin::ClearConnection() {
    peer_.Reset();
    type_ = MediaType{};
}

Result BasePin::Disconnect() {
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (filter_->State() != FilterState::Stopped) return kNotStopped;
    if (!peer_) return kFalse;
    BreakConnect();
    ClearConnection();
    return kOk;
}

Result BasePin::ConnectedTo(Pin** out) {
    if (!out) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    *out = nullptr;
    if (!peer_) return kNotConnected;
    peer_->AddRef();
    *out = peer_.Get();
    return kOk;
}

Result BasePin::ConnectionMediaType(MediaType* out) {
    if (!out) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (!peer_) {
        *out = MediaType{};
        return kNotConnected;
    }
    *out = type_;
    return kOk;
}

Result BasePin::EnumMediaTypes(media::EnumMediaTypes** out) {
    if (!out) return kPointer;
    *out = new (std::nothrow) PinTypeEnum(this);
    return *out ? kOk : kOutOfMemory;
}

Result BasePin::NewSegment(int64_t start, int64_t, double) {
    segmentStart_.store(start);
    return kOk;
}

Result BasePin::GetMediaType(int position, MediaType*) { return position < 0 ? kInvalidArg : kNoMoreItems; }

Result BasePin::SetMediaType(const MediaType& type) {
    type_ = type;
    return kOk;
}

Result BasePin::CheckConnect(Pin* peer) { return peer->Direction() == direction_ ? kInvalidArg : kOk; }

Result BasePin::CompleteConnect(Pin*) { return kOk; }

// Output pins.

BaseOutputPin::BaseOutputPin(BaseFilter* filter, const char* name) : BasePin(filter, name, PinDirection::Output) {}

Result BaseOutputPin::CompleteConnect(Pin* peer) {
    Ref<MemInputPin> input = Query<MemInputPin>(peer, kIidMemInputPin);
    if (!input) return kNoTransport;
    Ref<MemAllocator> allocator;
    Result r = DecideAllocator(input.Get(), allocator.Out());
    if (Failed(r)) return r;
    input_ = input;
    allocator_ = allocator;
    return kOk;
}

Result BaseOutputPin::DecideAllocator(MemInputPin* input, MemAllocator** out) {
    *out = nullptr;
    AllocatorProperties request;
    input->GetAllocatorRequirements(&request);
    if (request.alignment == 0) request.alignment = 1;
    Ref<MemAllocator> allocator;
    if (Succeeded(input->GetAllocator(allocator.Out())) && allocator) {
        AllocatorProperties wanted = request;
        if (Succeeded(DecideBufferSize(allocator.Get(), &wanted)) &&
            Succeeded(input->NotifyAllocator(allocator.Get(), false))) {
            *out = allocator.Detach();
            return kOk;
        }
    }
    Result r = InitAllocator(allocator.Out());
    if (Failed(r)) return r;
    AllocatorProperties wanted = request;
    r = DecideBufferSize(allocator.Get(), &wanted);
    if (Succeeded(r)) r = input->NotifyAllocator(allocator.Get(), false);
    if (Failed(r)) return r;
    *out = allocator.Detach();
    return kOk;
}

Result BaseOutputPin::InitAllocator(MemAllocator** out) {
    Unknown* object = CreateMemoryAllocator();
    if (!object) return kOutOfMemory;
    Result r = object->QueryInterface(kIidMemAllocator, reinterpret_cast<void**>(out));
    object->Release();
    return r;
}

Result BaseOutputPin::BreakConnect() {
    if (allocator_) allocator_->Decommit();
    allocator_.Reset();
    input_.Reset();
    return kOk;
}

Result BaseOutputPin::Active() { return allocator_ ? allocator_->Commit() : kOk; }

Result BaseOutputPin::Inactive() { return allocator_ ? allocator_->Decommit() : kOk; }

Result BaseOutputPin::GetDeliveryBuffer(MediaSample** out) {
    if (!allocator_) return kNotConnected;
    return allocator_->GetBuffer(out);
}

Result BaseOutputPin::Deliver(MediaSample* sample) {
    if (!input_) return kNotConnected;
    return input_->Receive(sample);
}

Result BaseOutputPin::DeliverEndOfStream() { return peer_ ? peer_->EndOfStream() : kNotConnected; }
Result BaseOutputPin::DeliverBeginFlush() { return peer_ ? peer_->BeginFlush() : kNotConnected; }
Result BaseOutputPin::DeliverEndFlush() { return peer_ ? peer_->EndFlush() : kNotConnected; }

Result BaseOutputPin::DeliverNewSegment(int64_t start, int64_t stop, double rate) {
    BasePin::NewSegment(start, stop, rate);
    return peer_ ? peer_->NewSegment(start, stop, rate) : kNotConnected;
}

// Input pins.

BaseInputPin::BaseInputPin(BaseFilter* filter, const char* name) : BasePin(filter, name, PinDirection::Input) {}

Result BaseInputPin::QueryInterface(const Guid& iid, void** out) {
    if (!out) return kPointer;
    if (iid == kIidMemInputPin) return HandOut<MemInputPin>(this, out);
    return BasePin::QueryInterface(iid, out);
}

Result BaseInputPin::GetAllocator(MemAllocator** out) {
    if (!out) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    if (!allocator_) {
        Unknown* object = CreateMemoryAllocator();
        if (!object) return kOutOfMemory;
        allocator_ = Query<MemAllocator>(object, kIidMemAllocator);
        object->Release();
        if (!allocator_) return kOutOfMemory;
    }
    allocator_->AddRef();
    *out = allocator_.Get();
    return kOk;
}

Result BaseInputPin::NotifyAllocator(MemAllocator* allocator, bool readOnly) {
    if (!allocator) return kPointer;
    std::lock_guard<std::recursive_mutex> hold(filter_->FilterLock());
    allocator_ = Ref<MemAllocator>(allocator);
    readOnly_ = readOnly;
    return kOk;
}

Result BaseInputPin::GetAllocatorRequirements(AllocatorProperties*) { return kNotImplemented; }

Result BaseInputPin::Receive(MediaSample* sample) {
    if (!sample) return kPointer;
    if (filter_->State() == FilterState::Stopped) return kWrongState;
    if (flushing_.load() || atEnd_.load()) return kFalse;
    MediaType changed;
    if (sample->GetMediaType(&changed) == kOk) {
        if (CheckMediaType(changed) != kOk) return kInvalidMediaType;
        Result r = SetMediaType(changed);
        if (Failed(r)) return r;
    }
    return kOk;
}

Result BaseInputPin::EndOfStream() {
    if (filter_->State() == FilterState::Stopped) return kWrongState;
    if (flushing_.load()) return kFalse;
    atEnd_.store(true);
    return kOk;
}

Result BaseInputPin::BeginFlush() {
    flushing_.store(true);
    return kOk;
}

Result BaseInputPin::EndFlush() {
    flushing_.store(false);
    atEnd_.store(false);
    return kOk;
}

Result BaseInputPin::BreakConnect() {
    allocator_.Reset();
    return kOk;
}

Result BaseInputPin::Inactive() {
    atEnd_.store(false);
    flushing_.store(false);
    if (allocator_) allocator_->Decommit();
    return kOk;
}

}  // namespace morpotta::platform::media
