// The memory reader filter and its output pin, which serves the graph's
// pull transport from the request engine.
#include "sound/mem_reader.h"

#include <new>

namespace morpotta {

namespace {

constexpr int64_t kUnits = mg::kTimeUnitsPerSecond;

}  // namespace

D_CMemReaderPin::D_CMemReaderPin(D_CMemReader* filter, D_CAsyncIo* io)
    : BasePin(filter, "Output", mg::PinDirection::Output), reader_(filter), io_(io) {}

mg::Result D_CMemReaderPin::QueryInterface(const mg::Guid& iid, void** out) {
    if (!out) return mg::kPointer;
    if (iid == mg::kIidAsyncReader) {
        queriedForAsyncReader_ = true;
        return mg::HandOut<mg::AsyncReader>(this, out);
    }
    return BasePin::QueryInterface(iid, out);
}

mg::Result D_CMemReaderPin::CheckConnect(mg::Pin* peer) {
    mg::Result r = BasePin::CheckConnect(peer);
    if (mg::Failed(r)) return r;
    return queriedForAsyncReader_ ? mg::kOk : mg::kFail;
}

mg::Result D_CMemReaderPin::BreakConnect() {
    queriedForAsyncReader_ = false;
    return BasePin::BreakConnect();
}

mg::Result D_CMemReaderPin::Disconnect() {
    mg::Result r = BasePin::Disconnect();
    queriedForAsyncReader_ = false;
    return r;
}

mg::Result D_CMemReaderPin::GetMediaType(int position, mg::MediaType* out) {
    if (position < 0) return mg::kInvalidArg;
    if (position > 0) return mg::kNoMoreItems;
    if (!out) return mg::kPointer;
    *out = reader_->OfferedType();
    return mg::kOk;
}

mg::Result D_CMemReaderPin::CheckMediaType(const mg::MediaType& type) {
    const mg::MediaType& offered = reader_->OfferedType();
    bool subtype = offered.subtype == mg::kGuidNull || offered.subtype == type.subtype;
    return offered.majorType == type.majorType && subtype ? mg::kOk : mg::kFalse;
}

mg::Result D_CMemReaderPin::InitAllocator(mg::MemAllocator** out) {
    return mg::CreateMediaObject(mg::kClassMemoryAllocator, nullptr, mg::kContextInprocServer, mg::kIidMemAllocator,
                                 reinterpret_cast<void**>(out));
}

mg::Result D_CMemReaderPin::RequestAllocator(mg::MemAllocator* preferred, mg::AllocatorProperties* properties,
                                             mg::MemAllocator** actual) {
    if (!preferred || !properties || !actual) return mg::kPointer;
    *actual = nullptr;
    const int32_t alignment = int32_t(io_->Alignment());
    mg::AllocatorProperties wanted = *properties;
    if (wanted.alignment % alignment != 0) wanted.alignment = alignment;
    mg::AllocatorProperties got;
    if (mg::Succeeded(preferred->SetProperties(wanted, &got)) && got.alignment % alignment == 0) {
        preferred->AddRef();
        *actual = preferred;
        return mg::kOk;
    }
    mg::Ref<mg::MemAllocator> own;
    if (mg::Succeeded(InitAllocator(own.Out())) && mg::Succeeded(own->SetProperties(wanted, &got)) &&
        got.alignment % alignment == 0) {
        *actual = own.Detach();
        return mg::kOk;
    }
    return mg::kBadAlign;
}

bool D_CMemReaderPin::RequestRange(mg::MediaSample* sample, int64_t* position, int32_t* length) {
    int64_t start = 0, stop = 0;
    if (sample->GetTime(&start, &stop) != mg::kOk) return false;
    int64_t at = start / kUnits;
    int64_t bytes = (stop - start) / kUnits;
    int64_t total = 0, available = 0;
    io_->Length(&total, &available);
    if (at + bytes > total) {
        const int64_t alignment = io_->Alignment();
        total = (total + alignment - 1) / alignment * alignment;
        if (at + bytes > total) {
            // A request that starts past the end reads nothing.
            bytes = at < total ? total - at : 0;
            stop = at < total ? total * kUnits : start;
            sample->SetTime(&start, &stop);
        }
    }
    *position = at;
    *length = int32_t(bytes);
    return true;
}

mg::Result D_CMemReaderPin::PrepareRequest(mg::MediaSample* sample, int64_t* position, int32_t* length,
                                           uint8_t** buffer) {
    if (!sample) return mg::kPointer;
    if (!RequestRange(sample, position, length)) return mg::kTimeNotSet;
    if (*length > sample->GetSize()) return mg::kBufferOverflow;
    return sample->GetPointer(buffer);
}

mg::Result D_CMemReaderPin::Request(mg::MediaSample* sample, uintptr_t user) {
    int64_t position;
    int32_t length;
    uint8_t* buffer = nullptr;
    mg::Result r = PrepareRequest(sample, &position, &length, &buffer);
    return mg::Failed(r) ? r : io_->Request(position, length, true, buffer, user, sample);
}

mg::Result D_CMemReaderPin::WaitForNext(uint32_t timeoutMs, mg::MediaSample** sample, uintptr_t* user) {
    return io_->WaitForNext(timeoutMs, sample, user);
}

mg::Result D_CMemReaderPin::SyncReadAligned(mg::MediaSample* sample) {
    int64_t position;
    int32_t length;
    uint8_t* buffer = nullptr;
    mg::Result r = PrepareRequest(sample, &position, &length, &buffer);
    if (mg::Failed(r)) return r;
    int32_t bytesRead = 0;
    r = io_->SyncReadAligned(position, length, buffer, &bytesRead, sample);
    sample->SetActualDataLength(bytesRead);
    return r;
}

mg::Result D_CMemReaderPin::SyncRead(int64_t position, int32_t length, uint8_t* buffer) {
    if (!buffer) return mg::kPointer;
    return io_->SyncRead(position, length, buffer);
}

mg::Result D_CMemReaderPin::Length(int64_t* total, int64_t* available) { return io_->Length(total, available); }
mg::Result D_CMemReaderPin::BeginFlush() { return io_->BeginFlush(); }
mg::Result D_CMemReaderPin::EndFlush() { return io_->EndFlush(); }

D_CMemReader::D_CMemReader(D_CAsyncStream* stream, const mg::MediaType& type)
    : BaseFilter(kClassMemReader), io_(stream), pin_(this, &io_), type_(type) {}

D_CMemReader* D_CMemReader::Create(D_CAsyncStream* stream, const mg::MediaType& type, mg::Result* result) {
    auto* reader = stream ? new (std::nothrow) D_CMemReader(stream, type) : nullptr;
    if (result) *result = reader ? mg::kOk : (stream ? mg::kOutOfMemory : mg::kPointer);
    return reader;
}

mg::Result D_CMemReader::Stop() {
    mg::Result r = BaseFilter::Stop();
    io_.StopWorker();
    return r;
}

}  // namespace morpotta
