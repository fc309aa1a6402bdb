// The memory source of the media graph: a block of memory offered to the
// graph through an asynchronous reader, the pull transport that parsers
// and decoders use. Three pieces: the memory stream (the bytes, with an
// optional read pacing), the request engine (a queue of read requests
// served by one worker thread) and the reader filter with its one output
// pin, "Output".
#pragma once
#include "platform/mediagraph_base.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace morpotta {

namespace mg = platform::media;

// The stream a memory reader serves.
class D_CAsyncStream {
public:
    virtual ~D_CAsyncStream() = default;
    // kOk when 0 <= position <= the total length (the position is set), else kFalse.
    virtual mg::Result SetPointer(int64_t position) = 0;
    virtual mg::Result Read(uint8_t* buffer, uint32_t bytes, bool aligned, uint32_t* bytesRead) = 0;
    // The total length; available gets what may be read by now.
    virtual int64_t Size(int64_t* available) = 0;
    virtual uint32_t Alignment() = 0;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

// Bytes the caller owns and keeps while the stream lives. A rate (bytes per
// millisecond) other than 0xFFFFFFFF paces reads as if the bytes arrived at
// that rate from the stream's construction on.
class D_CMemStream final : public D_CAsyncStream {
public:
    static D_CMemStream* Create(const uint8_t* data, int64_t length, uint32_t rate);  // null when memory is short

    mg::Result SetPointer(int64_t position) override;
    mg::Result Read(uint8_t* buffer, uint32_t bytes, bool aligned, uint32_t* bytesRead) override;
    int64_t Size(int64_t* available) override;
    uint32_t Alignment() override { return 1; }
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }

private:
    D_CMemStream(const uint8_t* data, int64_t length, uint32_t rate);

    std::recursive_mutex lock_;
    const uint8_t* data_;
    int64_t length_;
    int64_t position_ = 0;
    uint32_t rate_;
    uint32_t startTime_;  // milliseconds at construction
};

class D_CAsyncIo;

// One read: position and length in bytes, into buffer; sample and user
// value travel back to the caller with it.
struct D_CAsyncRequest {
    D_CAsyncIo* io;
    D_CAsyncStream* stream;
    int64_t position;
    uint32_t length;
    bool aligned;
    uint8_t* buffer;
    uintptr_t user;
    mg::MediaSample* sample;
    mg::Result result = mg::kTimeout;

    // Reads under the stream lock: kOk, kFalse when it ended short (the
    // length becomes what was read), or the stream's failure.
    mg::Result Complete();
};

// The request engine: requests queue on a work list, one worker thread
// completes them in order onto a done list, and callers take them back.
// A flush hands every queued request back uncompleted and waits for the
// one in flight.
class D_CAsyncIo {
public:
    explicit D_CAsyncIo(D_CAsyncStream* stream) : stream_(stream) {}
    ~D_CAsyncIo();  // flushes, stops the worker, frees what is left
    D_CAsyncIo(const D_CAsyncIo&) = delete;
    D_CAsyncIo& operator=(const D_CAsyncIo&) = delete;

    mg::Result Request(int64_t position, int32_t length, bool aligned, uint8_t* buffer, uintptr_t user,
                       mg::MediaSample* sample);
    // The first completed request (a sample's actual length is set): its
    // result, with a short read counted as kOk when it ended exactly at the
    // end of the data and kFail otherwise; kTimeout; kWrongState while
    // flushing with nothing done. 0xFFFFFFFF waits without end.
    mg::Result WaitForNext(uint32_t timeoutMs, mg::MediaSample** sample, uintptr_t* user);
    // Completed at once on the calling thread.
    mg::Result SyncReadAligned(int64_t position, int32_t length, uint8_t* buffer, int32_t* bytesRead,
                               mg::MediaSample* sample);
    mg::Result SyncRead(int64_t position, int32_t length, uint8_t* buffer);
    mg::Result Length(int64_t* total, int64_t* available);
    uint32_t Alignment() { return stream_->Alignment(); }
    bool IsAligned(int64_t value) { return value % Alignment() == 0; }
    mg::Result BeginFlush();
    mg::Result EndFlush();
    // Ends the worker thread and waits for it; the next request starts another.
    void StopWorker();
    bool WorkerRunning();
    bool Flushing();  // a flush has begun and not ended

private:
    mg::Result PutWorkItem(D_CAsyncRequest* request);
    D_CAsyncRequest* GetDoneItem();  // list lock held
    void Worker(uint64_t generation);

    D_CAsyncStream* stream_;
    std::mutex lock_;  // the lists, the counts, the flags and the events
    bool flushing_ = false;
    std::deque<D_CAsyncRequest*> work_;
    std::deque<D_CAsyncRequest*> done_;
    // Events: work and done reset by hand, all-done by its waiter.
    bool workEvent_ = false;
    bool doneEvent_ = false;
    bool allDoneEvent_ = false;
    // Each worker runs until the count moves on from the value it started
    // with, so a request that starts a new worker while a stopped one is
    // still finishing its read never revives the stopped one.
    uint64_t generation_ = 0;
    std::condition_variable workOrStop_;
    std::condition_variable doneChanged_;
    std::condition_variable allDone_;
    int inFlight_ = 0;
    bool waitingForAllDone_ = false;
    std::thread worker_;
};

class D_CMemReader;

// The reader's output pin; the peer must ask it for its asynchronous reader
// to connect.
class D_CMemReaderPin final : public mg::BasePin, public mg::AsyncReader {
public:
    D_CMemReaderPin(D_CMemReader* filter, D_CAsyncIo* io);

    mg::Result QueryInterface(const mg::Guid& iid, void** out) override;
    uint32_t AddRef() override { return BasePin::AddRef(); }
    uint32_t Release() override { return BasePin::Release(); }
    mg::Result CheckConnect(mg::Pin* peer) override;
    mg::Result BreakConnect() override;
    mg::Result Disconnect() override;
    mg::Result GetMediaType(int position, mg::MediaType* out) override;
    mg::Result CheckMediaType(const mg::MediaType& type) override;
    mg::Result InitAllocator(mg::MemAllocator** out);

    mg::Result RequestAllocator(mg::MemAllocator* preferred, mg::AllocatorProperties* properties,
                                mg::MemAllocator** actual) override;
    mg::Result Request(mg::MediaSample* sample, uintptr_t user) override;
    mg::Result WaitForNext(uint32_t timeoutMs, mg::MediaSample** sample, uintptr_t* user) override;
    mg::Result SyncReadAligned(mg::MediaSample* sample) override;
    mg::Result SyncRead(int64_t position, int32_t length, uint8_t* buffer) override;
    mg::Result Length(int64_t* total, int64_t* available) override;
    mg::Result BeginFlush() override;
    mg::Result EndFlush() override;

private:
    // Position and length of a sample's request, cut at the aligned end of
    // the data (a request that starts past it becomes empty); false when
    // the sample has no times.
    bool RequestRange(mg::MediaSample* sample, int64_t* position, int32_t* length);
    // The range and buffer of a sample's request; the buffer must hold it.
    mg::Result PrepareRequest(mg::MediaSample* sample, int64_t* position, int32_t* length, uint8_t** buffer);

    D_CMemReader* reader_;
    D_CAsyncIo* io_;
    bool queriedForAsyncReader_ = false;
};

class D_CMemReader final : public mg::BaseFilter {
public:
    // The stream must outlive the reader. Null with kOutOfMemory when
    // memory is short.
    static D_CMemReader* Create(D_CAsyncStream* stream, const mg::MediaType& type, mg::Result* result);

    int PinCount() override { return 1; }
    mg::BasePin* GetPin(int n) override { return n == 0 ? &pin_ : nullptr; }
    // Also ends the request engine's worker; a later request starts it again.
    mg::Result Stop() override;
    const mg::MediaType& OfferedType() const { return type_; }
    D_CAsyncIo& Io() { return io_; }

private:
    D_CMemReader(D_CAsyncStream* stream, const mg::MediaType& type);
    ~D_CMemReader() override = default;

    D_CAsyncIo io_;
    D_CMemReaderPin pin_;
    mg::MediaType type_;
};

// The memory reader's class id (the engine's own).
inline constexpr mg::Guid kClassMemReader{0x3E1B0C75, 0x59D4, 0x4C38, {0x8B, 0x1E, 0x60, 0xA2, 0x4D, 0x95, 0x17, 0xC3}};

}  // namespace morpotta
