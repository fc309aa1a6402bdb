// The media graph with the engine's memory reader and sample grabber: what
// Render builds and the renderer swap, completion and error events, stop
// joining every thread; the reader's requests (cut at the end, past the
// end, alignment, flushes, pacing) and the grabber's type checks, callback
// and delivery buffer.
#include "codec_fixtures.h"
#include "graph_test_filters.h"
#include "mp3_graph_fixtures.h"
#include "platform/clock.h"
#include "sound/mem_reader.h"
#include "sound/mp3_graph_reader.h"
#include "sound/sample_grabber.h"

#include <atomic>
#include <condition_variable>
#include <future>
#include <thread>

using namespace morpotta;

using namespace graphtest;
using soundtest::HasTool;
using soundtest::ReadBytes;
using soundtest::RunTool;

namespace {

constexpr int64_t kUnits = mg::kTimeUnitsPerSecond;

mg::MediaType MpegStream() {
    mg::MediaType t;
    t.majorType = mg::kMediaTypeStream;
    t.subtype = mg::kSubtypeMpeg1Audio;
    return t;
}

mg::MediaType AnyPcm() {
    mg::MediaType t;
    t.majorType = mg::kMediaTypeAudio;
    t.subtype = mg::kSubtypePcm;
    return t;
}

// What a grabber callback saw.
struct Seen {
    std::mutex lock;
    std::vector<uint8_t> bytes;
    std::vector<int> typeChanged;
    std::vector<int64_t> starts;
    std::vector<uint8_t*> pointers;
    mg::Result answer = mg::kOk;
    bool dropOdd = false;
};

mg::Result Record(mg::MediaSample* s, int64_t* start, int64_t*, int typeChanged, void* user) {
    auto* seen = static_cast<Seen*>(user);
    uint8_t* p = nullptr;
    s->GetPointer(&p);
    std::lock_guard<std::mutex> hold(seen->lock);
    seen->bytes.insert(seen->bytes.end(), p, p + s->GetActualDataLength());
    seen->typeChanged.push_back(typeChanged);
    seen->starts.push_back(*start);
    seen->pointers.push_back(p);
    if (seen->dropOdd && seen->typeChanged.size() % 2 == 0) return mg::kFalse;
    return seen->answer;
}

// The memory source over bytes the test keeps.
struct MemSource {
    explicit MemSource(const std::vector<uint8_t>& bytes, uint32_t rate = 0xFFFFFFFF)
        : data(bytes), stream(D_CMemStream::Create(data.data(), int64_t(data.size()), rate)) {
        mg::Result r;
        reader = D_CMemReader::Create(stream, MpegStream(), &r);
    }
    ~MemSource() {
        reader->Release();
        delete stream;
    }
    mg::Pin* Out() { return reader->GetPin(0); }
    std::vector<uint8_t> data;
    D_CMemStream* stream;
    D_CMemReader* reader;
};

class MediaGraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HasTool("lame") || !HasTool("sox")) GTEST_SKIP() << "encoders missing";
        soundtest::WriteBytes("s.wav", soundtest::MakeWave(soundtest::MakeTonePcm16(22050, 2, 44100), 44100, 2, 16));
        ASSERT_TRUE(RunTool("lame --quiet --cbr -b 96 s.wav s.mp3"));
        mp3_ = ReadBytes("s.mp3");
    }
    ScopedTempDir dir_;
    std::vector<uint8_t> mp3_;
};

TEST_F(MediaGraphTest, RenderBuildsTheChainThroughTheGrabberAndTheRendererSwaps) {
    MemSource source(mp3_);
    D_CSampleGrabber* grabber = D_CSampleGrabber::Create(nullptr, nullptr);
    mg::MediaType pcm = AnyPcm();
    grabber->SetAcceptedMediaType(&pcm);
    Seen seen;
    grabber->SetCallback(Record, &seen);
    mg::Ref<mg::GraphBuilder> graph = NewGraph();
    ASSERT_EQ(graph->AddFilter(grabber, "SampleGrabber"), mg::kOk);
    ASSERT_EQ(graph->AddFilter(source.reader, "MemFile"), mg::kOk);
    EXPECT_EQ(graph->AddFilter(grabber, "again"), mg::kDuplicateFilter);
    ASSERT_EQ(graph->Render(source.Out()), mg::kOk);
    EXPECT_EQ(graph->Render(source.Out()), mg::kAlreadyConnected);

    // The reader feeds the decoder Render added, which feeds the grabber
    // already in the graph, which ends in the audio renderer.
    std::vector<std::string> names;
    mg::Ref<mg::EnumFilters> e;
    graph->EnumFilters(e.Out());
    for (mg::Filter* f; e->Next(&f) == mg::kOk;) {
        names.push_back(f->Name());
        f->Release();
    }
    EXPECT_EQ(names, (std::vector<std::string>{"SampleGrabber", "MemFile", "MPEG Audio Decoder", "Audio Renderer"}));
    mg::Filter* decoder = PeerFilter(source.Out());
    ASSERT_TRUE(decoder);
    EXPECT_TRUE(decoder->ClassId() == mg::kClassMpegAudioDecoder);
    EXPECT_EQ(PeerFilter(PinOf(decoder, mg::PinDirection::Output).Get()), static_cast<mg::Filter*>(grabber));
    mg::Filter* audio = PeerFilter(grabber->Output());
    ASSERT_TRUE(audio);
    EXPECT_TRUE(audio->ClassId() == mg::kClassAudioRenderer);
    mg::MediaType connected;
    ASSERT_EQ(grabber->GetConnectedMediaType(&connected), mg::kOk);
    ASSERT_TRUE(mg::WaveFormatOf(connected));
    long rate = 0;
    const std::vector<uint8_t> want = soundtest::DirectDecode("s.mp3", &rate);
    EXPECT_EQ(mg::WaveFormatOf(connected)->samplesPerSec, uint32_t(rate));

    // The renderer swap: the null renderer takes the chosen renderer's place.
    mg::Ref<mg::Filter> null;
    ASSERT_EQ(mg::CreateMediaObject(mg::kClassNullRenderer, nullptr, 1, mg::kIidFilter, null.OutVoid()), mg::kOk);
    ASSERT_EQ(graph->AddFilter(null.Get(), "File Renderer"), mg::kOk);
    mg::Ref<mg::Pin> audioIn = PinOf(audio, mg::PinDirection::Input);
    mg::Ref<mg::Pin> grabberOut(grabber->Output());
    ASSERT_EQ(graph->Disconnect(grabberOut.Get()), mg::kOk);
    ASSERT_EQ(graph->Disconnect(audioIn.Get()), mg::kOk);
    mg::Ref<mg::Pin> nullIn = mg::Ref<mg::Pin>::Adopt(GetFilterPin(null.Get(), 0));
    EXPECT_FALSE(mg::Ref<mg::Pin>::Adopt(GetFilterPin(null.Get(), 1)));
    ASSERT_EQ(graph->Connect(grabberOut.Get(), nullIn.Get()), mg::kOk);
    EXPECT_EQ(PeerFilter(grabber->Output()), null.Get());

    mg::Ref<mg::MediaControl> control = mg::Query<mg::MediaControl>(graph.Get(), mg::kIidMediaControl);
    mg::Ref<mg::MediaEvent> events = mg::Query<mg::MediaEvent>(graph.Get(), mg::kIidMediaEvent);
    mg::Ref<mg::MediaFilter> clock = mg::Query<mg::MediaFilter>(graph.Get(), mg::kIidMediaFilter);
    EXPECT_EQ(clock->SetSyncSource(nullptr), mg::kOk);
    int32_t code = -1;
    EXPECT_EQ(events->WaitForCompletion(0, &code), mg::kWrongState) << "stopped";

    // Runs complete, again after a stop; a stop mid-run joins every thread.
    const int threadsBefore = ThreadCount();
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        {
            std::lock_guard<std::mutex> hold(seen.lock);
            seen.bytes.clear();
        }
        ASSERT_EQ(control->Run(), mg::kOk);
        if (run == 2) {
            EXPECT_EQ(control->Stop(), mg::kOk);
        } else {
            ASSERT_EQ(events->WaitForCompletion(10000, &code), mg::kOk);
            EXPECT_EQ(code, mg::kEventComplete);
            EXPECT_EQ(events->WaitForCompletion(0, &code), mg::kAbort) << "completion comes once";
            EXPECT_EQ(control->Stop(), mg::kOk);
            std::lock_guard<std::mutex> hold(seen.lock);
            EXPECT_TRUE(seen.bytes == want);
            EXPECT_EQ(seen.typeChanged.front(), 1);
        }
        EXPECT_TRUE(ThreadCountComesBackTo(threadsBefore)) << ListedThreads() << " threads, not " << threadsBefore;
        EXPECT_FALSE(source.reader->Io().WorkerRunning());
    }

    // A callback failure stops the stream with an error event.
    seen.answer = mg::kFail;
    ASSERT_EQ(control->Run(), mg::kOk);
    ASSERT_EQ(events->WaitForCompletion(10000, &code), mg::kOk);
    EXPECT_EQ(code, mg::kEventErrorAbort);
    control->Stop();
    grabber->Release();
}

TEST_F(MediaGraphTest, StreamsWithoutMpegAudioAreNotRendered) {
    std::vector<uint8_t> noise(20000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = uint8_t((i * 7919u) >> 3);
    std::vector<uint8_t> wave = soundtest::MakeWave(soundtest::MakeTonePcm16(8000, 1, 8000), 8000, 1, 16);
    for (const std::vector<uint8_t>* bytes : {&noise, &wave}) {
        MemSource source(*bytes);
        mg::Ref<mg::GraphBuilder> graph = NewGraph();
        graph->AddFilter(source.reader, "MemFile");
        EXPECT_EQ(graph->Render(source.Out()), mg::kCannotRender);
        EXPECT_FALSE(PeerFilter(source.Out()));
        mg::Ref<mg::EnumFilters> e;
        graph->EnumFilters(e.Out());
        int count = 0;
        for (mg::Filter* f; e->Next(&f) == mg::kOk; ++count) f->Release();
        EXPECT_EQ(count, 1) << "what Render tried is gone again";
    }
}

// A stream whose reads wait at a gate the test opens.
class GatedStream final : public D_CAsyncStream {
public:
    GatedStream(int64_t length, uint32_t alignment) : bytes_(size_t(length)), alignment_(alignment) {
        for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = uint8_t(i * 3 + 1);
    }
    mg::Result SetPointer(int64_t p) override {
        if (p < 0 || p > int64_t(bytes_.size())) return mg::kFalse;
        position_ = p;
        return mg::kOk;
    }
    mg::Result Read(uint8_t* buffer, uint32_t n, bool, uint32_t* got) override {
        {
            std::unique_lock<std::mutex> hold(gateLock_);
            ++waiting_;
            changed_.notify_all();
            changed_.wait(hold, [&] { return open_; });
            --waiting_;
        }
        n = uint32_t(std::min<int64_t>(n, int64_t(bytes_.size()) - position_));
        std::memcpy(buffer, bytes_.data() + position_, n);
        position_ += n;
        *got = n;
        return mg::kOk;
    }
    int64_t Size(int64_t* available) override {
        if (available) *available = int64_t(bytes_.size());
        return int64_t(bytes_.size());
    }
    uint32_t Alignment() override { return alignment_; }
    void Lock() override { lock_.lock(); }
    void Unlock() override { lock_.unlock(); }

    void Open(bool open) {
        std::lock_guard<std::mutex> hold(gateLock_);
        open_ = open;
        changed_.notify_all();
    }
    void WaitForReader() {
        std::unique_lock<std::mutex> hold(gateLock_);
        changed_.wait(hold, [&] { return waiting_ > 0; });
    }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    uint32_t alignment_;
    int64_t position_ = 0;
    std::recursive_mutex lock_;
    std::mutex gateLock_;
    std::condition_variable changed_;
    bool open_ = true;
    int waiting_ = 0;
};

struct Samples {
    explicit Samples(int count, int32_t size = 64) {
        mg::CreateMediaObject(mg::kClassMemoryAllocator, nullptr, 1, mg::kIidMemAllocator, allocator.OutVoid());
        mg::AllocatorProperties want{count, size, 4, 0}, got;
        allocator->SetProperties(want, &got);
        allocator->Commit();
    }
    ~Samples() { allocator->Decommit(); }
    mg::Ref<mg::MediaSample> Get(int64_t from, int64_t to) {
        mg::Ref<mg::MediaSample> s;
        allocator->GetBuffer(s.Out());
        int64_t start = from * kUnits, stop = to * kUnits;
        s->SetTime(&start, &stop);
        return s;
    }
    mg::Ref<mg::MemAllocator> allocator;
};

mg::Ref<mg::AsyncReader> ReaderOf(D_CMemReader* reader) {
    return mg::Query<mg::AsyncReader>(reader->GetPin(0), mg::kIidAsyncReader);
}

TEST(MemReader, RequestsAreCutAtTheAlignedEndAndPastItReadNothing) {
    GatedStream stream(10, 4);
    D_CMemReader* reader = D_CMemReader::Create(&stream, MpegStream(), nullptr);
    mg::Ref<mg::AsyncReader> async = ReaderOf(reader);
    Samples samples(3);

    // [8, 16) of 10 bytes: cut at 12, the aligned end; two bytes are there,
    // and a read that ends at the end of the data is whole.
    mg::Ref<mg::MediaSample> cut = samples.Get(8, 16);
    ASSERT_EQ(async->Request(cut.Get(), 7), mg::kOk);
    mg::MediaSample* done = nullptr;
    uintptr_t user = 0;
    EXPECT_EQ(async->WaitForNext(5000, &done, &user), mg::kOk);
    EXPECT_EQ(done, cut.Get());
    EXPECT_EQ(user, 7u);
    EXPECT_EQ(cut->GetActualDataLength(), 2);
    int64_t start, stop;
    cut->GetTime(&start, &stop);
    EXPECT_EQ(stop, 12 * kUnits);
    uint8_t* p = nullptr;
    cut->GetPointer(&p);
    EXPECT_EQ(p[0], stream.Bytes()[8]);
    EXPECT_EQ(p[1], stream.Bytes()[9]);

    // Starting past the aligned end: completed empty.
    mg::Ref<mg::MediaSample> past = samples.Get(16, 24);
    ASSERT_EQ(async->Request(past.Get(), 0), mg::kOk);
    EXPECT_EQ(async->WaitForNext(5000, &done, &user), mg::kFail);
    EXPECT_EQ(past->GetActualDataLength(), 0);
    EXPECT_EQ(async->SyncReadAligned(past.Get()), mg::kFalse);
    EXPECT_EQ(past->GetActualDataLength(), 0);

    mg::Ref<mg::MediaSample> odd = samples.Get(2, 6);
    EXPECT_EQ(async->Request(odd.Get(), 0), mg::kBadAlign);
    uint8_t bytes[3];
    EXPECT_EQ(async->SyncRead(1, 3, bytes), mg::kOk) << "unaligned reads go their own way";
    EXPECT_EQ(bytes[0], stream.Bytes()[1]);

    // An allocator's alignment becomes a multiple of the stream's.
    mg::Ref<mg::MemAllocator> preferred, actual;
    mg::CreateMediaObject(mg::kClassMemoryAllocator, nullptr, 1, mg::kIidMemAllocator, preferred.OutVoid());
    mg::AllocatorProperties props{1, 100, 2, 0};
    ASSERT_EQ(async->RequestAllocator(preferred.Get(), &props, actual.Out()), mg::kOk);
    mg::AllocatorProperties got;
    actual->GetProperties(&got);
    EXPECT_EQ(got.alignment, 4);
    EXPECT_EQ(async->RequestAllocator(nullptr, &props, actual.Out()), mg::kPointer);
    reader->Release();
}

TEST(MemReader, AFlushHandsBackEveryRequestAndWaitsForTheOneInFlight) {
    GatedStream stream(4096, 1);
    D_CMemReader* reader = D_CMemReader::Create(&stream, MpegStream(), nullptr);
    mg::Ref<mg::AsyncReader> async = ReaderOf(reader);
    Samples samples(3);
    stream.Open(false);
    std::vector<mg::Ref<mg::MediaSample>> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(samples.Get(i * 64, i * 64 + 64));
        ASSERT_EQ(async->Request(queued.back().Get(), uintptr_t(i)), mg::kOk);
    }
    stream.WaitForReader();  // the first is in flight, held at the gate
    std::thread flusher([&] { async->BeginFlush(); });
    // The gate opens only once the flush has begun (and waits for the one
    // in flight): the worker then finds nothing more to do.
    while (!reader->Io().Flushing()) std::this_thread::yield();
    stream.Open(true);
    flusher.join();

    mg::MediaSample* sample = nullptr;
    uintptr_t user = 0;
    std::vector<mg::Result> results(3, 1234);
    for (int i = 0; i < 3; ++i) {
        mg::Result r = async->WaitForNext(0, &sample, &user);
        ASSERT_TRUE(sample);
        results[user] = r;
    }
    EXPECT_EQ(results[0], mg::kOk) << "the request in flight completed";
    EXPECT_EQ(results[1], mg::kTimeout) << "queued ones come back undone";
    EXPECT_EQ(results[2], mg::kTimeout);
    EXPECT_EQ(async->WaitForNext(60000, &sample, &user), mg::kWrongState) << "at once, while flushing";
    EXPECT_EQ(async->Request(queued[0].Get(), 0), mg::kWrongState);
    async->EndFlush();
    ASSERT_EQ(async->Request(queued[1].Get(), 9), mg::kOk);
    EXPECT_EQ(async->WaitForNext(5000, &sample, &user), mg::kOk);
    EXPECT_EQ(user, 9u);
    EXPECT_TRUE(reader->Io().WorkerRunning());
    queued.clear();
    reader->Release();  // joins the worker
}

TEST(MemReader, ARequestWhileTheStoppedWorkerFinishesItsReadGoesToANewWorker) {
    GatedStream stream(4096, 1);
    D_CMemReader* reader = D_CMemReader::Create(&stream, MpegStream(), nullptr);
    mg::Ref<mg::AsyncReader> async = ReaderOf(reader);
    Samples samples(2);
    stream.Open(false);
    mg::Ref<mg::MediaSample> held = samples.Get(0, 64), later = samples.Get(64, 128);
    ASSERT_EQ(async->Request(held.Get(), 1), mg::kOk);
    stream.WaitForReader();
    std::promise<void> stopped;
    std::future<void> stoppedFuture = stopped.get_future();
    std::thread stopper([&] {
        reader->Io().StopWorker();  // waits for the read held at the gate
        stopped.set_value();
    });
    while (reader->Io().WorkerRunning()) std::this_thread::yield();
    ASSERT_EQ(async->Request(later.Get(), 2), mg::kOk);  // starts a new worker
    stream.Open(true);
    if (stoppedFuture.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        stopper.detach();
        FAIL() << "the stopped worker took up the new request's work and never ended";
    }
    stopper.join();
    mg::MediaSample* sample = nullptr;
    uintptr_t user = 0, users = 0;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(async->WaitForNext(5000, &sample, &user), mg::kOk);
        users += user;
    }
    EXPECT_EQ(users, 3u) << "both requests completed";
    held.Reset();
    later.Reset();
    reader->Release();
}

TEST(MemReader, APeerThatNeverAsksForTheReaderIsRefused) {
    std::vector<uint8_t> bytes(100, 1);
    MemSource source(bytes);
    mg::Ref<mg::Filter> null;
    mg::CreateMediaObject(mg::kClassNullRenderer, nullptr, 1, mg::kIidFilter, null.OutVoid());
    mg::Ref<mg::GraphBuilder> graph = NewGraph();
    graph->AddFilter(source.reader, "MemFile");
    graph->AddFilter(null.Get(), "Null");
    mg::Ref<mg::Pin> in = PinOf(null.Get(), mg::PinDirection::Input);
    EXPECT_EQ(graph->ConnectDirect(source.Out(), in.Get(), nullptr), mg::kFail);
    EXPECT_FALSE(PeerFilter(in.Get()));
    mg::MediaType stream = MpegStream();
    EXPECT_EQ(source.Out()->QueryAccept(stream), mg::kOk);
    stream.subtype = mg::kSubtypePcm;
    EXPECT_EQ(source.Out()->QueryAccept(stream), mg::kFalse) << "a subtype other than the one offered";
    EXPECT_EQ(source.Out()->QueryAccept(AnyPcm()), mg::kFalse);
}

TEST(MemReader, APacedStreamWaitsUntilTheBytesAreDue) {
    platform::UseVirtualClock(true);
    std::vector<uint8_t> bytes(200000, 5);
    D_CMemStream* stream = D_CMemStream::Create(bytes.data(), int64_t(bytes.size()), 1000);
    const uint64_t start = platform::ClockMicroseconds();
    std::vector<uint8_t> out(100000);
    uint32_t got = 0;
    ASSERT_EQ(stream->Read(out.data(), 100000, true, &got), mg::kOk);
    EXPECT_EQ(got, 100000u);
    EXPECT_GE(platform::ClockMicroseconds() - start, 100000u);
    int64_t available = 0;
    EXPECT_EQ(stream->Size(&available), 200000);
    EXPECT_EQ(available, 100000);
    delete stream;
    platform::UseVirtualClock(false);
}

class GrabberTest : public ::testing::Test {
protected:
    void SetUp() override {
        grabber_ = D_CSampleGrabber::Create(nullptr, nullptr);
        mg::MediaType pcm = AnyPcm();
        grabber_->SetAcceptedMediaType(&pcm);
        grabber_->SetCallback(Record, &seen_);
        graph_ = NewGraph();
    }
    void TearDown() override {
        if (control_) control_->Stop();
        graph_.Reset();
        grabber_->Release();
    }
    // source → grabber → renderer, running.
    void Build(PushSource* source, mg::Filter* renderer) {
        graph_->AddFilter(source, "Source");
        graph_->AddFilter(grabber_, "SampleGrabber");
        graph_->AddFilter(renderer, "Renderer");
        ASSERT_EQ(graph_->ConnectDirect(&source->Out(), grabber_->Input(), nullptr), mg::kOk);
        ASSERT_EQ(graph_->ConnectDirect(grabber_->Output(), PinOf(renderer, mg::PinDirection::Input).Get(), nullptr),
                  mg::kOk);
        control_ = mg::Query<mg::MediaControl>(graph_.Get(), mg::kIidMediaControl);
        ASSERT_EQ(control_->Run(), mg::kOk);
    }
    D_CSampleGrabber* grabber_ = nullptr;
    mg::Ref<mg::GraphBuilder> graph_;
    mg::Ref<mg::MediaControl> control_;
    Seen seen_;
};

TEST_F(GrabberTest, AcceptsAnyPcmAndRefusesCompressedAudio) {
    EXPECT_EQ(grabber_->Input()->QueryAccept(Pcm(22050, 1)), mg::kOk);
    EXPECT_EQ(grabber_->Input()->QueryAccept(Pcm(44100, 2)), mg::kOk);
    mg::MediaType mpeg = Pcm(44100, 2);
    mpeg.subtype = mg::kSubtypeMpeg1Audio;
    EXPECT_EQ(grabber_->Input()->QueryAccept(mpeg), mg::kInvalidMediaType);
    mg::MediaType offered;
    EXPECT_EQ(static_cast<mg::BasePin*>(grabber_->Input())->GetMediaType(0, &offered), mg::kOk);
    EXPECT_TRUE(offered == AnyPcm());
    EXPECT_EQ(static_cast<mg::BasePin*>(grabber_->Input())->GetMediaType(1, &offered), mg::kNoMoreItems);
    EXPECT_EQ(static_cast<mg::BasePin*>(grabber_->Input())->GetMediaType(-1, &offered), mg::kInvalidArg);
    mg::MediaType connected;
    EXPECT_EQ(grabber_->GetConnectedMediaType(&connected), mg::kNotConnected);
    mg::Result r;
    EXPECT_EQ(D_CSampleGrabber::Create(static_cast<mg::Filter*>(grabber_), &r), nullptr);
    EXPECT_EQ(r, mg::kNoAggregation);
}

TEST_F(GrabberTest, TheCallbackSeesEachSampleWithItsSegmentTimeAndTypeChanges) {
    auto* source = new PushSource(Pcm(44100, 2));
    auto* renderer = new KeepingRenderer;
    Build(source, renderer);
    const std::vector<uint8_t> a(400, 1), b(400, 2), c(400, 3), d(400, 4);
    source->Out().DeliverNewSegment(5 * kUnits, INT64_MAX, 1.0);
    EXPECT_EQ(source->Push(a, 100), mg::kOk);
    EXPECT_EQ(source->Push(b, 200), mg::kOk);
    const mg::MediaType mono = Pcm(44100, 1);
    EXPECT_EQ(source->Push(c, 300, &mono), mg::kOk);
    seen_.dropOdd = true;  // the fourth sample is answered kFalse
    EXPECT_EQ(source->Push(d, 400), mg::kOk) << "a dropped sample is no error";
    EXPECT_EQ(seen_.typeChanged, (std::vector<int>{1, 0, 1, 0}));
    EXPECT_EQ(seen_.starts, (std::vector<int64_t>{5 * kUnits + 100, 5 * kUnits + 200, 5 * kUnits + 300,
                                                  5 * kUnits + 400}));
    EXPECT_EQ(renderer->Samples(), 3);
    std::vector<uint8_t> rendered = a;
    rendered.insert(rendered.end(), b.begin(), b.end());
    rendered.insert(rendered.end(), c.begin(), c.end());
    EXPECT_TRUE(renderer->Bytes() == rendered);
    mg::MediaType connected;
    ASSERT_EQ(grabber_->GetConnectedMediaType(&connected), mg::kOk);
    EXPECT_TRUE(connected == mono);

    // The end of the stream passes through to the graph's completion.
    mg::Ref<mg::MediaEvent> events = mg::Query<mg::MediaEvent>(graph_.Get(), mg::kIidMediaEvent);
    EXPECT_EQ(source->Out().DeliverEndOfStream(), mg::kOk);
    int32_t code = 0;
    EXPECT_EQ(events->WaitForCompletion(1000, &code), mg::kOk);
    EXPECT_EQ(code, mg::kEventComplete);
    source->Release();
    renderer->Release();
}

TEST_F(GrabberTest, SamplesLandInTheDeliveryBuffer) {
    std::vector<uint8_t> delivery(1024);
    mg::AllocatorProperties two{2, 256, 1, 0}, one{1, 512, 1, 16};
    EXPECT_EQ(grabber_->SetDeliveryBuffer(two, delivery.data()), mg::kInvalidArg);
    EXPECT_EQ(grabber_->SetDeliveryBuffer(one, nullptr), mg::kPointer);
    ASSERT_EQ(grabber_->SetDeliveryBuffer(one, delivery.data()), mg::kOk);

    // Downstream, a second grabber with a buffer of its own: the first
    // copies each sample into it.
    D_CSampleGrabber* second = D_CSampleGrabber::Create(nullptr, nullptr);
    std::vector<uint8_t> secondBuffer(2048);
    Seen secondSeen;
    second->SetCallback(Record, &secondSeen);
    ASSERT_EQ(second->SetDeliveryBuffer({1, 1024, 1, 0}, secondBuffer.data()), mg::kOk);
    auto* source = new PushSource(Pcm(8000, 1));
    Build(source, second);
    EXPECT_EQ(grabber_->SetDeliveryBuffer(one, delivery.data()), mg::kInvalidArg) << "connected";

    std::vector<uint8_t> bytes(300);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i);
    uint8_t* where = nullptr;
    ASSERT_EQ(source->Push(bytes, 0, nullptr, &where), mg::kOk);
    EXPECT_EQ(where, delivery.data() + 16) << "the source's buffer is the delivery buffer";
    ASSERT_EQ(secondSeen.pointers.size(), 1u);
    EXPECT_EQ(secondSeen.pointers[0], secondBuffer.data());
    EXPECT_TRUE(secondSeen.bytes == bytes);
    EXPECT_TRUE(seen_.bytes == bytes);
    control_->Stop();
    source->Release();
    second->Release();
}

}  // namespace
