// The converter's last reader: the whole stream decoded to PCM before
// playback by a private media graph run as fast as it goes. The memory
// source offers the bytes as MPEG audio, the graph's own decoder turns them
// into PCM, the sample grabber collects it and a null renderer ends the
// chain; the converter then serves the PCM from memory.
// Every way out stops the graph first, so that no streaming thread outlives
// what it reads: then the graph and its filters go, the memory reader (its
// worker thread joined), and last the memory stream and the copy it reads.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "engine/window.h"
#include "foundation/object_creation.h"
#include "foundation/public_call.h"
#include "foundation/window_internal.h"
#include "sound/mem_reader.h"
#include "sound/mp3_graph_reader.h"
#include "sound/sample_grabber.h"

#include <algorithm>
#include <cstring>

namespace morpotta {

namespace {

constexpr uint32_t kEncodedToPcmRatio = 10;  // PCM room at first, per encoded byte
constexpr int32_t kWaitStepMs = 100;
constexpr uint64_t kMaxPcmBytes = 0x7FFFFFFF;

struct Mp3Graph {
    explicit Mp3Graph(SOUNDCONV* c) : conv(c) {}
    Mp3Graph(const Mp3Graph&) = delete;
    Mp3Graph& operator=(const Mp3Graph&) = delete;

    SOUNDCONV* conv;
    bool decoded = false;  // else the PCM is freed with the rest
    uint8_t* copy = nullptr;
    D_CMemStream* stream = nullptr;
    D_CMemReader* reader = nullptr;
    D_CSampleGrabber* grabber = nullptr;
    mg::Ref<mg::Filter> nullRenderer;
    mg::Ref<mg::GraphBuilder> graph;
    mg::Ref<mg::MediaFilter> mediaFilter;
    mg::Ref<mg::MediaControl> control;
    mg::Ref<mg::MediaEvent> event;

    ~Mp3Graph() {
        if (graph) {
            mg::Ref<mg::MediaControl> stopper = mg::Query<mg::MediaControl>(graph.Get(), mg::kIidMediaControl);
            if (stopper) stopper->Stop();
        }
        event.Reset();
        mediaFilter.Reset();
        control.Reset();
        graph.Reset();
        nullRenderer.Reset();
        if (grabber) grabber->Release();
        if (reader) reader->Release();
        delete stream;
        FreeMemory(copy);
        if (!decoded) {
            FreeMemory(conv->memPcm.data);
            conv->memPcm = {};
        }
    }
};

// The graph's failure, in the words the media graph's messages use, as
// the refusal of the call that decodes the sound.
int Fail(const char16_t* message) {
    std::string text;
    if (!ConvertUtf16ToCp932(message, &text)) text = "(unconvertible message)";
    return Refuse("%s", text.c_str());
}

mg::Ref<mg::Pin> FilterPin(mg::Filter* filter, int direction) {
    return mg::Ref<mg::Pin>::Adopt(GetFilterPin(filter, direction));
}

// The renderer that Render chose (the first filter with a connected input
// and no output) is disconnected and the null renderer takes its place.
mg::Result SwapRenderer(mg::GraphBuilder* graph, mg::Filter* nullRenderer) {
    mg::Ref<mg::EnumFilters> filters;
    if (mg::Failed(graph->EnumFilters(filters.Out()))) return mg::kFail;
    mg::Ref<mg::Pin> upstream;
    mg::Filter* next = nullptr;
    while (!upstream && filters->Next(&next) == mg::kOk) {
        mg::Ref<mg::Filter> filter = mg::Ref<mg::Filter>::Adopt(next);
        mg::Ref<mg::Pin> in = FilterPin(filter.Get(), 0);
        if (!in || FilterPin(filter.Get(), 1)) continue;
        if (in->ConnectedTo(upstream.Out()) != mg::kOk) continue;
        graph->Disconnect(upstream.Get());
        graph->Disconnect(in.Get());
    }
    mg::Ref<mg::Pin> nullInput = FilterPin(nullRenderer, 0);
    if (!upstream || !nullInput) return mg::kFail;
    return graph->Connect(upstream.Get(), nullInput.Get());
}

// Builds the graph up to the point where it can run; 0, or -1 after the log line.
int BuildGraph(Mp3Graph& g, uint32_t encodedBytes) {
    g.stream = D_CMemStream::Create(g.copy, encodedBytes, 0xFFFFFFFF);
    if (!g.stream) return Fail(u"MP3変換用 D_CMemStream の作成に失敗しました");
    mg::MediaType offered;
    offered.majorType = mg::kMediaTypeStream;
    offered.subtype = mg::kSubtypeMpeg1Audio;
    mg::Result r;
    g.reader = D_CMemReader::Create(g.stream, offered, &r);
    if (!g.reader) return Fail(u"MP3変換用 D_CMemReader の作成に失敗しました");
    if (mg::Failed(CoCreateInstanceEntry(mg::kClassNullRenderer, nullptr, mg::kContextInprocServer, mg::kIidFilter,
                                         g.nullRenderer.OutVoid())))
        return Fail(u"MP3変換用 NullRender の作成に失敗しました");
    if (mg::Failed(CoCreateInstanceEntry(mg::kClassFilterGraph, nullptr,
                                         mg::kContextInprocServer | mg::kContextInprocHandler, mg::kIidGraphBuilder,
                                         g.graph.OutVoid())))
        return Fail(u"MP3変換用 IGraphBuilder の作成に失敗しました");
    g.grabber = D_CSampleGrabber::Create(nullptr, &r);
    if (!g.grabber) return Fail(u"MP3変換用 D_CSampleGrabber の作成に失敗しました");
    mg::MediaType pcm;
    pcm.majorType = mg::kMediaTypeAudio;
    pcm.subtype = mg::kSubtypePcm;
    if (mg::Failed(g.grabber->SetAcceptedMediaType(&pcm)))
        return Fail(u"サンプルグラバフィルタのメディアタイプの設定に失敗しました");
    if (mg::Failed(g.graph->AddFilter(g.grabber, "SampleGrabber")))
        return Fail(u"サンプルグラバフィルタのグラフへの追加に失敗しました");
    if (mg::Failed(g.graph->AddFilter(g.reader, "MemFile")))
        return Fail(u"メモリファイルフィルタのグラフへの追加に失敗しました");
    // Data no filter of the graph reads (a text file) is declined without a
    // word, as every reader declines what it does not know.
    if (mg::Failed(g.graph->Render(g.reader->GetPin(0)))) return -1;
    if (mg::Failed(g.graph->AddFilter(g.nullRenderer.Get(), "File Renderer")))
        return Fail(u"ヌルレンダラーフィルタのグラフへの追加に失敗しました");
    if (mg::Failed(SwapRenderer(g.graph.Get(), g.nullRenderer.Get())))
        return Fail(u"既存レンダラーをNullレンダラーと交換する処理が失敗しました");
    return 0;
}

// The output format from the decoded stream's; 0, or -1 after the log line.
int TakeOutputFormat(SOUNDCONV* conv, D_CSampleGrabber* grabber) {
    mg::MediaType connected;
    if (mg::Failed(grabber->GetConnectedMediaType(&connected)))
        return Fail(u"音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
    const platform::AcmWaveFormat* wave = mg::WaveFormatOf(connected);
    if (!wave) return Fail(u"サポート外のストリームフォーマットです。");
    // A format without channels or sample frames could not be served.
    if (wave->formatTag != 1 || wave->channels == 0 || wave->blockAlign == 0 || wave->samplesPerSec == 0)
        return Fail(u"サポート外のオーディオフォーマットです。");
    WAVEFORMATEX& out = conv->outputFormat;
    out.formatTag = wave->formatTag;
    out.channels = wave->channels;
    out.samplesPerSec = wave->samplesPerSec;
    out.blockAlign = wave->blockAlign;
    out.avgBytesPerSec = uint32_t(wave->blockAlign) * wave->samplesPerSec;
    out.bitsPerSample = uint16_t(wave->blockAlign * 8 / wave->channels);
    out.extraSize = 0;
    return 0;
}

}  // namespace

mg::Pin* GetFilterPin(mg::Filter* filter, int direction) {
    mg::Ref<mg::EnumPins> pins;
    if (!filter || mg::Failed(filter->EnumPins(pins.Out())) || !pins) return nullptr;
    mg::Pin* pin = nullptr;
    while (pins->Next(&pin) == mg::kOk) {
        if (int(pin->Direction()) == direction) return pin;
        pin->Release();
    }
    return nullptr;
}

// The PCM block grows to at least what is needed, doubling, so that any
// length fits and growing stays linear overall.
mg::Result Mp3GrabberCallback(mg::MediaSample* sample, int64_t*, int64_t*, int, void* user) {
    auto* conv = static_cast<SOUNDCONV*>(user);
    if (!conv->memPcm.data) return mg::kOk;
    uint8_t* data = nullptr;
    sample->GetPointer(&data);
    const uint32_t n = uint32_t(sample->GetActualDataLength());
    if (!data || n == 0) return mg::kOk;
    const uint64_t needed = uint64_t(conv->memPcm.used) + n;
    if (needed > conv->memPcm.capacity) {
        uint64_t capacity = std::max<uint64_t>(needed, uint64_t(conv->memPcm.capacity) * 2);
        if (capacity > kMaxPcmBytes) capacity = kMaxPcmBytes;
        auto* grown = needed <= kMaxPcmBytes ? static_cast<uint8_t*>(AllocMemory(size_t(capacity), "", 0)) : nullptr;
        if (grown) std::memcpy(grown, conv->memPcm.data, conv->memPcm.used);
        FreeMemory(conv->memPcm.data);
        conv->memPcm.data = grown;
        if (!grown) return mg::kOk;
        conv->memPcm.capacity = uint32_t(capacity);
    }
    std::memcpy(conv->memPcm.data + conv->memPcm.used, data, n);
    conv->memPcm.used += n;
    return mg::kOk;
}

int DecodeMp3WithDirectShow(SOUNDCONV* conv) {
    conv->memPcm = {};
    StreamData& s = conv->stream;
    if (s.functions.seek(s.handle, 0, 2) != 0) return -1;
    const int64_t size = s.functions.tell(s.handle);
    s.functions.seek(s.handle, 0, 0);
    if (size <= 0 || uint64_t(size) > kMaxPcmBytes) return -1;

    Mp3Graph g(conv);
    g.copy = static_cast<uint8_t*>(AllocMemory(size_t(size), "", 0));
    if (!g.copy) return Fail(u"MP3変換用 D_CMemStream の作成に失敗しました");
    const uint32_t encodedBytes = uint32_t(s.functions.read(g.copy, 1, size_t(size), s.handle));
    if (BuildGraph(g, encodedBytes) != 0) return -1;
    if (TakeOutputFormat(conv, g.grabber) != 0) return -1;
    if (mg::Failed(g.grabber->SetCallback(Mp3GrabberCallback, conv)))
        return Fail(u"コールバック関数を設定できません");

    const uint64_t capacity = std::min<uint64_t>(uint64_t(encodedBytes) * kEncodedToPcmRatio, kMaxPcmBytes);
    conv->memPcm.data = static_cast<uint8_t*>(AllocMemory(size_t(capacity), "", 0));
    if (!conv->memPcm.data) return Fail(u"PCMデータを格納するメモリ領域の確保に失敗しました");
    conv->memPcm.capacity = uint32_t(capacity);
    conv->memPcm.used = 0;

    g.mediaFilter = mg::Query<mg::MediaFilter>(g.graph.Get(), mg::kIidMediaFilter);
    if (!g.mediaFilter) return Fail(u"IMediaFilter の取得に失敗しました");
    g.mediaFilter->SetSyncSource(nullptr);
    g.control = mg::Query<mg::MediaControl>(g.graph.Get(), mg::kIidMediaControl);
    if (!g.control) return Fail(u"IMediaControl の取得に失敗しました");
    g.event = mg::Query<mg::MediaEvent>(g.graph.Get(), mg::kIidMediaEvent);
    if (!g.event) return Fail(u"IMediaEvent の取得に失敗しました");
    // A graph that cannot start never completes.
    if (mg::Failed(g.control->Run())) return Fail(u"MP3変換の途中でエラーが発生しました");

    for (;;) {
        if (ProcessWindowMessagesCore() != 0) return Fail(u"MP3変換の途中でソフトが終了しました");
        int32_t code = 0;
        mg::Result r = g.event->WaitForCompletion(kWaitStepMs, &code);
        if (r == mg::kAbort) continue;
        if (r != mg::kOk || code != mg::kEventComplete) return Fail(u"MP3変換の途中でエラーが発生しました");
        if (!conv->memPcm.data) return Fail(u"PCMデータを格納するメモリ領域の再確保に失敗しました");
        break;
    }
    // The grabber's thread is joined before the PCM is read here.
    g.control->Stop();
    g.decoded = true;
    conv->type = SOUNDCONV_TYPE_MEMPCM;
    conv->blockSize = int32_t(conv->outputFormat.avgBytesPerSec);
    conv->memPcm.readPosition = 0;
    return 0;
}

}  // namespace morpotta
