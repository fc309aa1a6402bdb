// The memory stream and the request engine of the memory source.
#include "foundation/public_call.h"
#include "platform/clock.h"
#include "sound/mem_reader.h"

#include <chrono>
#include <cstring>
#include <new>
#include <system_error>

namespace morpotta {

namespace {

uint32_t Milliseconds() { return uint32_t(platform::ClockMicroseconds() / 1000); }

constexpr uint32_t kWaitForever = 0xFFFFFFFF;

}  // namespace

D_CMemStream* D_CMemStream::Create(const uint8_t* data, int64_t length, uint32_t rate) {
    return new (std::nothrow) D_CMemStream(data, length, rate);
}

D_CMemStream::D_CMemStream(const uint8_t* data, int64_t length, uint32_t rate)
    : data_(data), length_(length < 0 ? 0 : length), rate_(rate), startTime_(Milliseconds()) {}

mg::Result D_CMemStream::SetPointer(int64_t position) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (position < 0 || position > length_) return mg::kFalse;
    position_ = position;
    return mg::kOk;
}

mg::Result D_CMemStream::Read(uint8_t* buffer, uint32_t bytes, bool, uint32_t* bytesRead) {
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const int64_t left = length_ - position_;
    if (int64_t(bytes) > left) bytes = uint32_t(left > 0 ? left : 0);
    // Paced: the bytes up to the end of this read are due that many
    // milliseconds after construction. A rate of 0 would divide by zero
    // and is read unpaced.
    if (rate_ != 0) {
        const uint32_t due = uint32_t(position_ + bytes) / rate_;
        const uint32_t elapsed = Milliseconds() - startTime_;
        if (elapsed < due) platform::SleepMilliseconds(int(due - elapsed));
    }
    if (bytes) std::memcpy(buffer, data_ + position_, bytes);
    position_ += bytes;
    *bytesRead = bytes;
    return mg::kOk;
}

int64_t D_CMemStream::Size(int64_t* available) {
    if (available) {
        const uint64_t arrived = uint64_t(Milliseconds() - startTime_) * rate_;
        *available = arrived < uint64_t(length_) ? int64_t(arrived) : length_;
    }
    return length_;
}

mg::Result D_CAsyncRequest::Complete() {
    stream->Lock();
    result = stream->SetPointer(position);
    if (result != mg::kOk) {
        length = 0;  // nothing was read
    } else {
        uint32_t bytesRead = 0;
        result = stream->Read(buffer, length, aligned, &bytesRead);
        if (result == mg::kStreamDiscontinuity) {
            if (sample) sample->SetDiscontinuity(true);
            result = mg::kOk;
        }
        if (mg::Succeeded(result)) {
            result = bytesRead < length ? mg::kFalse : mg::kOk;
            length = bytesRead;
        }
    }
    stream->Unlock();
    return result;
}

D_CAsyncIo::~D_CAsyncIo() {
    BeginFlush();
    StopWorker();
    std::lock_guard<std::mutex> hold(lock_);
    for (D_CAsyncRequest* r : done_) delete r;
    for (D_CAsyncRequest* r : work_) delete r;
    done_.clear();
    work_.clear();
}

mg::Result D_CAsyncIo::PutWorkItem(D_CAsyncRequest* request) {
    std::lock_guard<std::mutex> hold(lock_);
    if (flushing_) return mg::kWrongState;
    try {
        work_.push_back(request);
    } catch (const std::bad_alloc&) {
        return mg::kOutOfMemory;
    }
    workEvent_ = true;
    workOrStop_.notify_one();
    if (!worker_.joinable()) {
        try {
            worker_ = std::thread([this, generation = generation_] { Worker(generation); });
        } catch (const std::system_error& e) {
            // The caller frees the request: it must not stay queued.
            work_.pop_back();
            if (work_.empty()) workEvent_ = false;
            return mg::Result(0x80070000u | (uint32_t(e.code().value()) & 0xFFFF));
        }
    }
    return mg::kOk;
}

void D_CAsyncIo::Worker(uint64_t generation) {
    const EngineTaskScope task("Media graph reader");
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        workOrStop_.wait(hold, [&] { return generation_ != generation || workEvent_; });
        if (generation_ != generation) return;
        // A stopped worker leaves the queue to the one a later request starts.
        while (!work_.empty() && generation_ == generation) {
            D_CAsyncRequest* r = work_.front();
            work_.pop_front();
            if (work_.empty()) workEvent_ = false;
            ++inFlight_;
            hold.unlock();
            r->Complete();
            hold.lock();
            done_.push_back(r);
            doneEvent_ = true;
            doneChanged_.notify_all();
            if (--inFlight_ == 0 && waitingForAllDone_) {
                allDoneEvent_ = true;
                allDone_.notify_all();
            }
        }
        if (work_.empty()) workEvent_ = false;
    }
}

D_CAsyncRequest* D_CAsyncIo::GetDoneItem() {
    if (done_.empty()) return nullptr;
    D_CAsyncRequest* r = done_.front();
    done_.pop_front();
    // While a flush is under way the event stays set, so that waiters
    // learn of it at once.
    if (done_.empty() && (!flushing_ || waitingForAllDone_)) doneEvent_ = false;
    return r;
}

mg::Result D_CAsyncIo::Request(int64_t position, int32_t length, bool aligned, uint8_t* buffer, uintptr_t user,
                               mg::MediaSample* sample) {
    if (length < 0) return mg::kInvalidArg;
    if (aligned && (!IsAligned(position) || !IsAligned(length) || !IsAligned(int64_t(uintptr_t(buffer)))))
        return mg::kBadAlign;
    auto* r = new (std::nothrow) D_CAsyncRequest{this, stream_, position, uint32_t(length), aligned, buffer, user, sample};
    if (!r) return mg::kOutOfMemory;
    mg::Result result = PutWorkItem(r);
    if (mg::Failed(result)) delete r;
    return result;
}

mg::Result D_CAsyncIo::WaitForNext(uint32_t timeoutMs, mg::MediaSample** sample, uintptr_t* user) {
    if (!sample || !user) return mg::kPointer;
    *sample = nullptr;
    *user = 0;
    D_CAsyncRequest* r = nullptr;
    {
        std::unique_lock<std::mutex> hold(lock_);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            if (timeoutMs == kWaitForever) {
                doneChanged_.wait(hold, [&] { return doneEvent_; });
            } else if (!doneChanged_.wait_until(hold, until, [&] { return doneEvent_; })) {
                return mg::kTimeout;
            }
            r = GetDoneItem();
            if (r) break;
            if (flushing_) return mg::kWrongState;
            doneEvent_ = false;
        }
    }
    mg::Result result = r->result;
    if (result == mg::kFalse) {
        int64_t total = stream_->Size(nullptr);
        result = r->position + r->length == total ? mg::kOk : mg::kFail;
    }
    *sample = r->sample;
    *user = r->user;
    if (r->sample) r->sample->SetActualDataLength(int32_t(r->length));
    delete r;
    return result;
}

mg::Result D_CAsyncIo::SyncReadAligned(int64_t position, int32_t length, uint8_t* buffer, int32_t* bytesRead,
                                       mg::MediaSample* sample) {
    if (length < 0) return mg::kInvalidArg;
    if (!IsAligned(position) || !IsAligned(length) || !IsAligned(int64_t(uintptr_t(buffer)))) return mg::kBadAlign;
    D_CAsyncRequest r{this, stream_, position, uint32_t(length), true, buffer, 0, sample};
    mg::Result result = r.Complete();
    if (bytesRead) *bytesRead = int32_t(r.length);
    return result;
}

mg::Result D_CAsyncIo::SyncRead(int64_t position, int32_t length, uint8_t* buffer) {
    if (length < 0) return mg::kInvalidArg;
    if (IsAligned(position) && IsAligned(length) && IsAligned(int64_t(uintptr_t(buffer))))
        return SyncReadAligned(position, length, buffer, nullptr, nullptr);
    D_CAsyncRequest r{this, stream_, position, uint32_t(length), false, buffer, 0, nullptr};
    return r.Complete();
}

mg::Result D_CAsyncIo::Length(int64_t* total, int64_t* available) {
    if (!total || !available) return mg::kPointer;
    *total = stream_->Size(available);
    return mg::kOk;
}

mg::Result D_CAsyncIo::BeginFlush() {
    std::unique_lock<std::mutex> hold(lock_);
    flushing_ = true;
    while (!work_.empty()) {
        done_.push_back(work_.front());
        work_.pop_front();
        doneEvent_ = true;
    }
    workEvent_ = false;
    doneChanged_.notify_all();
    if (inFlight_ > 0) {
        waitingForAllDone_ = true;
        while (inFlight_ > 0) {
            allDone_.wait(hold, [&] { return allDoneEvent_; });
            allDoneEvent_ = false;  // reset by its waiter
        }
        waitingForAllDone_ = false;
    }
    doneEvent_ = true;
    doneChanged_.notify_all();
    return mg::kOk;
}

mg::Result D_CAsyncIo::EndFlush() {
    std::lock_guard<std::mutex> hold(lock_);
    flushing_ = false;
    doneEvent_ = !done_.empty();
    if (doneEvent_) doneChanged_.notify_all();
    return mg::kOk;
}

void D_CAsyncIo::StopWorker() {
    std::thread worker;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!worker_.joinable()) return;
        ++generation_;
        workOrStop_.notify_all();
        worker = std::move(worker_);
    }
    worker.join();
}

bool D_CAsyncIo::WorkerRunning() {
    std::lock_guard<std::mutex> hold(lock_);
    return worker_.joinable();
}

bool D_CAsyncIo::Flushing() {
    std::lock_guard<std::mutex> hold(lock_);
    return flushing_;
}

}  // namespace morpotta
