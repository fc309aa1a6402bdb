// The in-place transform: one input and one output pin of the same type;
// each sample is handed to Transform and passed on in its own buffer when
// the input and output share an allocator, else in a copy.
#include "mediagraph/mediagraph_internal.h"

#include <cstring>

namespace morpotta::platform::media {

InPlaceInputPin::InPlaceInputPin(TransformInPlaceFilter* filter, const char* name)
    : BaseInputPin(filter, name), transform_(filter) {}

Result InPlaceInputPin::CheckMediaType(const MediaType& type) {
    Result r = transform_->CheckInputType(type);
    if (r != kOk) return r;
    InPlaceOutputPin* out = transform_->Output();
    if (out && out->IsConnected()) return out->Peer()->QueryAccept(type) == kOk ? kOk : kTypeNotAccepted;
    return kOk;
}

// Once the output is connected, the types downstream can take.
Result InPlaceInputPin::EnumMediaTypes(media::EnumMediaTypes** out) {
    InPlaceOutputPin* output = transform_->Output();
    if (output && output->IsConnected()) return output->Peer()->EnumMediaTypes(out);
    return BaseInputPin::EnumMediaTypes(out);
}

Result InPlaceInputPin::Receive(MediaSample* sample) {
    Result r = BaseInputPin::Receive(sample);
    if (r != kOk) return r;
    return transform_->Receive(sample);
}

Result InPlaceInputPin::EndOfStream() {
    Result r = BaseInputPin::EndOfStream();
    if (r != kOk) return r;
    InPlaceOutputPin* out = transform_->Output();
    return out->IsConnected() ? out->DeliverEndOfStream() : kOk;
}

Result InPlaceInputPin::BeginFlush() {
    BaseInputPin::BeginFlush();
    InPlaceOutputPin* out = transform_->Output();
    return out->IsConnected() ? out->DeliverBeginFlush() : kOk;
}

Result InPlaceInputPin::EndFlush() {
    BaseInputPin::EndFlush();
    InPlaceOutputPin* out = transform_->Output();
    return out->IsConnected() ? out->DeliverEndFlush() : kOk;
}

Result InPlaceInputPin::NewSegment(int64_t start, int64_t stop, double rate) {
    BaseInputPin::NewSegment(start, stop, rate);
    InPlaceOutputPin* out = transform_->Output();
    return out->IsConnected() ? out->DeliverNewSegment(start, stop, rate) : kOk;
}

InPlaceOutputPin::InPlaceOutputPin(TransformInPlaceFilter* filter)
    : BaseOutputPin(filter, "Output"), transform_(filter) {}

Result InPlaceOutputPin::CheckMediaType(const MediaType& type) {
    Result r = transform_->CheckInputType(type);
    if (r != kOk) return r;
    InPlaceInputPin* in = transform_->Input();
    if (in->IsConnected() && !(in->CurrentMediaType() == type)) return kTypeNotAccepted;
    return kOk;
}

Result InPlaceOutputPin::GetMediaType(int position, MediaType* out) {
    if (position < 0) return kInvalidArg;
    InPlaceInputPin* in = transform_->Input();
    if (position > 0 || !in->IsConnected()) return kNoMoreItems;
    *out = in->CurrentMediaType();
    return kOk;
}

Result InPlaceOutputPin::DecideAllocator(MemInputPin* input, MemAllocator** out) {
    MemAllocator* shared = transform_->Input()->Allocator();
    if (shared && Succeeded(input->NotifyAllocator(shared, !transform_->ModifiesData()))) {
        shared->AddRef();
        *out = shared;
        return kOk;
    }
    return BaseOutputPin::DecideAllocator(input, out);
}

// As many and as large buffers as the input's, so that any sample copies.
Result InPlaceOutputPin::DecideBufferSize(MemAllocator* allocator, AllocatorProperties* request) {
    AllocatorProperties input;
    MemAllocator* inputAllocator = transform_->Input()->Allocator();
    if (!inputAllocator || Failed(inputAllocator->GetProperties(&input)) || input.bufferSize <= 0) return kFail;
    if (request->buffers < 1) request->buffers = 1;
    if (request->bufferSize < input.bufferSize) request->bufferSize = input.bufferSize;
    AllocatorProperties actual;
    Result r = allocator->SetProperties(*request, &actual);
    if (Failed(r)) return r;
    return actual.bufferSize >= input.bufferSize ? kOk : kFail;
}

TransformInPlaceFilter::TransformInPlaceFilter(const Guid& classId, bool modifiesData)
    : BaseFilter(classId), modifiesData_(modifiesData) {}

TransformInPlaceFilter::~TransformInPlaceFilter() = default;

void TransformInPlaceFilter::InstallPins(std::unique_ptr<InPlaceInputPin> input) {
    input_ = std::move(input);
    output_ = std::make_unique<InPlaceOutputPin>(this);
}

BasePin* TransformInPlaceFilter::GetPin(int n) {
    if (n == 0) return input_.get();
    if (n == 1) return output_.get();
    return nullptr;
}

Result TransformInPlaceFilter::CopySample(MediaSample* source, MediaSample** out) {
    Ref<MediaSample> copy;
    Result r = output_->GetDeliveryBuffer(copy.Out());
    if (Failed(r)) return r;
    uint8_t* from = nullptr;
    uint8_t* to = nullptr;
    source->GetPointer(&from);
    copy->GetPointer(&to);
    int32_t length = source->GetActualDataLength();
    if (!from || !to || Failed(copy->SetActualDataLength(length))) return kFail;
    std::memcpy(to, from, size_t(length));
    int64_t start, stop;
    if (source->GetTime(&start, &stop) == kOk) copy->SetTime(&start, &stop);
    copy->SetDiscontinuity(source->IsDiscontinuity());
    MediaType type;
    if (source->GetMediaType(&type) == kOk) copy->SetMediaType(&type);
    *out = copy.Detach();
    return kOk;
}

Result TransformInPlaceFilter::Receive(MediaSample* sample) {
    if (sample->GetStream() != MediaSample::Stream::Media)
        return output_->IsConnected() ? output_->Deliver(sample) : kOk;
    Ref<MediaSample> copy;
    MediaSample* passing = sample;
    if (output_->IsConnected() && input_->Allocator() != output_->Allocator()) {
        if (Failed(CopySample(sample, copy.Out()))) return kUnexpected;
        passing = copy.Get();
    }
    Result r = Transform(passing);
    if (Failed(r)) return r;
    if (r == kFalse) return kOk;
    return output_->IsConnected() ? output_->Deliver(passing) : kOk;
}

}  // namespace morpotta::platform::media
