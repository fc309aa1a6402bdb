// The media graph: a small layer of reference-counted objects with
// interface look-up, through which the engine decodes media by connecting
// filters into a graph; it stands in for the Windows filter graph that the
// engine's decoders were written against, with identifiers of our own. A filter has pins; an output pin connects to an
// input pin once both agree on a media type; samples (buffers from an
// allocator) travel downstream through the input pins, or are pulled from a
// source through its asynchronous reader. The graph adds filters, connects
// and renders pins (trying filters already in the graph before the
// registered ones), runs and stops its filters (stop joins every streaming
// thread) and reports completion once every renderer saw the end of its
// stream.
// Objects come from CreateMediaObject by class id; each starts with one
// reference held by its creator. Interfaces are asked for by id through
// QueryInterface, which adds a reference to what it hands out.
// Back end: the graph, an MPEG audio decoder (libmpg123, MPEG-1, 2 and 2.5,
// Layers I to III, free format), a discarding audio renderer that Render
// picks for PCM, a null renderer, and the movie source that RenderFile puts
// at the head of a movie file (libavformat and libavcodec: it offers the
// file's video as 24-bit RGB frames of the coded size; it reads no sound and
// does not stream, so a graph with it in cannot run). The graph keeps no
// reference clock: renderers take samples as they come.
#pragma once
#include "platform/acm.h"

#include <cstdint>
#include <vector>

namespace morpotta::platform::media {

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
    friend bool operator==(const Guid&, const Guid&) = default;
};
inline constexpr Guid kGuidNull{};

// Results: negative values are failures.
using Result = int32_t;
constexpr bool Succeeded(Result r) { return r >= 0; }
constexpr bool Failed(Result r) { return r < 0; }

constexpr Result kOk = 0;
constexpr Result kFalse = 1;
constexpr Result kNotImplemented = int32_t(0x80004001);
constexpr Result kNoInterface = int32_t(0x80004002);
constexpr Result kPointer = int32_t(0x80004003);
constexpr Result kAbort = int32_t(0x80004004);  // a wait timed out
constexpr Result kFail = int32_t(0x80004005);
constexpr Result kUnexpected = int32_t(0x8000FFFF);
constexpr Result kOutOfMemory = int32_t(0x8007000E);
constexpr Result kInvalidArg = int32_t(0x80070057);
constexpr Result kNoAggregation = int32_t(0x80040110);
constexpr Result kClassNotRegistered = int32_t(0x80040154);
// The graph's own results.
constexpr Result kNoMoreItems = 0x004D0001;         // success: an enumeration ran out
constexpr Result kStreamDiscontinuity = 0x004D0002;  // success: a stream read starts a new run of data
constexpr Result kInvalidMediaType = int32_t(0x804D0001);
constexpr Result kNotConnected = int32_t(0x804D0002);
constexpr Result kAlreadyConnected = int32_t(0x804D0003);
constexpr Result kNoAcceptableTypes = int32_t(0x804D0004);
constexpr Result kTypeNotAccepted = int32_t(0x804D0005);
constexpr Result kNotStopped = int32_t(0x804D0006);
constexpr Result kWrongState = int32_t(0x804D0007);
constexpr Result kTimeout = int32_t(0x804D0008);
constexpr Result kBadAlign = int32_t(0x804D0009);
constexpr Result kNotCommitted = int32_t(0x804D000A);
constexpr Result kSizeNotSet = int32_t(0x804D000B);
constexpr Result kBufferOverflow = int32_t(0x804D000C);
constexpr Result kTimeNotSet = int32_t(0x804D000D);
constexpr Result kNoTransport = int32_t(0x804D000E);    // the peer lacks the interface the pin needs
constexpr Result kCannotRender = int32_t(0x804D000F);
constexpr Result kCannotConnect = int32_t(0x804D0010);
constexpr Result kNotInGraph = int32_t(0x804D0011);
constexpr Result kDuplicateFilter = int32_t(0x804D0012);
constexpr Result kUnknownFileType = int32_t(0x804D0013);  // no source filter takes the file
constexpr Result kFileNotFound = int32_t(0x80070002);

// Class contexts accepted by CreateMediaObject (ignored: every class is in-process).
constexpr uint32_t kContextInprocServer = 1;
constexpr uint32_t kContextInprocHandler = 2;

// Interface ids.
inline constexpr Guid kIidUnknown{0xF9F823A9, 0x8929, 0x4585, {0xAE, 0xB9, 0xB5, 0x3B, 0x2A, 0x16, 0x63, 0xCF}};
inline constexpr Guid kIidMediaSample{0x5FC7672F, 0xCC2D, 0x405B, {0xA9, 0x68, 0x87, 0xD5, 0x1D, 0x04, 0xE5, 0xF9}};
inline constexpr Guid kIidMemAllocator{0x90454599, 0x0A11, 0x4F81, {0xB2, 0xD3, 0xD7, 0x29, 0x6C, 0xFA, 0xD8, 0x0B}};
inline constexpr Guid kIidPin{0x08E99E09, 0x9D47, 0x4A34, {0x98, 0x00, 0x85, 0x3B, 0x85, 0xE1, 0xD4, 0xD8}};
inline constexpr Guid kIidMemInputPin{0xB0BC9C1F, 0xE0AE, 0x4AFC, {0x9F, 0x9D, 0x4B, 0x49, 0xAB, 0x8E, 0xFE, 0xB6}};
inline constexpr Guid kIidAsyncReader{0xEF0E8AA8, 0x90A0, 0x40B8, {0xB9, 0x04, 0x10, 0x40, 0x35, 0x1D, 0xB0, 0xB3}};
inline constexpr Guid kIidFilter{0x8ED1FF64, 0xC881, 0x40B7, {0xA9, 0x4B, 0xD2, 0x23, 0x17, 0xAF, 0xB9, 0x23}};
inline constexpr Guid kIidEnumPins{0x009EA31D, 0x3497, 0x41F3, {0xB6, 0x52, 0x4D, 0x12, 0x90, 0x26, 0x8D, 0xC0}};
inline constexpr Guid kIidEnumMediaTypes{0x833D138F, 0x6EA4, 0x426C, {0xA2, 0xD9, 0x1C, 0xB5, 0x80, 0x55, 0x74, 0x90}};
inline constexpr Guid kIidEnumFilters{0xC8D4252F, 0xA44A, 0x469E, {0x90, 0x39, 0xC2, 0x9C, 0xCB, 0x16, 0xC2, 0x14}};
inline constexpr Guid kIidGraphBuilder{0xC9274A8A, 0xE166, 0x4611, {0xB0, 0xE8, 0x62, 0xED, 0x76, 0x8C, 0x3B, 0xE2}};
inline constexpr Guid kIidMediaControl{0xBEE10C7B, 0x52C4, 0x4ADF, {0xBA, 0x86, 0x70, 0x84, 0xD8, 0xFA, 0xD4, 0x98}};
inline constexpr Guid kIidMediaEvent{0x5B0F66C7, 0x389A, 0x4E2B, {0xB4, 0x96, 0x8D, 0x71, 0x33, 0xF0, 0x41, 0xB5}};
inline constexpr Guid kIidMediaFilter{0x119F073C, 0xEE02, 0x4064, {0xA5, 0xD2, 0xBF, 0x66, 0x57, 0x8E, 0x23, 0x0D}};
inline constexpr Guid kIidBasicAudio{0x2B5C3E07, 0x6A4F, 0x4D1B, {0x9E, 0x3C, 0x81, 0x0F, 0x64, 0xB2, 0x5D, 0x19}};
inline constexpr Guid kIidMediaSeeking{0xD4A1F6B2, 0x3C87, 0x4E65, {0xA0, 0x9B, 0x27, 0xE8, 0x5C, 0x31, 0x4F, 0xA6}};
inline constexpr Guid kIidFileSource{0x6E93B0D8, 0x12C5, 0x4F7A, {0xB4, 0x61, 0x3D, 0x9A, 0xE0, 0x27, 0x8C, 0x45}};

// Class ids of the back end.
inline constexpr Guid kClassFilterGraph{0x05FA0855, 0xEC30, 0x4DC0, {0x88, 0xF1, 0xC1, 0xA0, 0x99, 0xF8, 0x56, 0xE4}};
inline constexpr Guid kClassNullRenderer{0xB7B927E8, 0x2AB8, 0x43A1, {0x8C, 0x66, 0x6B, 0x56, 0xE0, 0x4B, 0x6B, 0x4D}};
inline constexpr Guid kClassAudioRenderer{0xF9CC89CE, 0x5EA1, 0x46A0, {0x9E, 0x67, 0x13, 0x8E, 0xD8, 0x44, 0xC3, 0x4F}};
inline constexpr Guid kClassMpegAudioDecoder{0x05A955B0, 0x658A, 0x4CCA, {0xAF, 0xE4, 0x05, 0x9A, 0x61, 0xDA, 0x50, 0x92}};
inline constexpr Guid kClassMemoryAllocator{0x4FF6798F, 0x1896, 0x40F9, {0x92, 0xE4, 0x12, 0x3E, 0x3A, 0x8A, 0x5E, 0x4F}};
inline constexpr Guid kClassMovieSource{0x8C0F4D27, 0xB6E1, 0x4A53, {0x9D, 0x28, 0x5F, 0x71, 0xC3, 0x0A, 0xE4, 0x96}};

// Media type parts.
inline constexpr Guid kMediaTypeStream{0x73005AA3, 0x82D5, 0x4A8B, {0xA1, 0x14, 0x7A, 0x04, 0xD1, 0x4D, 0x78, 0x6B}};
inline constexpr Guid kMediaTypeAudio{0xB33021FA, 0x7BC2, 0x4499, {0xB8, 0xE6, 0x92, 0x4B, 0x37, 0x05, 0xA6, 0xAF}};
inline constexpr Guid kSubtypeMpeg1Audio{0xE8F0D690, 0x84AB, 0x4ACD, {0xB2, 0x5E, 0x15, 0xE6, 0x5D, 0x85, 0xF9, 0x64}};
inline constexpr Guid kSubtypePcm{0x4267AE1C, 0x6A2F, 0x47B2, {0xAC, 0xD3, 0x89, 0x21, 0xF8, 0xF1, 0x6C, 0x8F}};
inline constexpr Guid kFormatWaveFormatEx{0x9468F151, 0x65FE, 0x4C09, {0x96, 0x83, 0xDB, 0xC4, 0xAF, 0x5F, 0x0F, 0xAD}};
inline constexpr Guid kMediaTypeVideo{0x5A6B2C91, 0x0E47, 0x4B3D, {0x8F, 0x15, 0xC2, 0x76, 0x9A, 0x04, 0xD3, 0x58}};
inline constexpr Guid kSubtypeRgb24{0x1D93E5A0, 0x7B2C, 0x4F86, {0xA5, 0x3E, 0x60, 0xC8, 0x19, 0xB7, 0x2F, 0xD4}};
inline constexpr Guid kSubtypeRgb32{0x3F17A6C8, 0x95D0, 0x4E29, {0xB1, 0x4A, 0x7C, 0x02, 0xE6, 0x58, 0x93, 0x1B}};
inline constexpr Guid kFormatVideoInfo{0xA2E40B5D, 0x6C19, 0x4873, {0x9B, 0xD6, 0x35, 0x0F, 0x8E, 0x21, 0xC7, 0x6A}};

// Event codes a graph reports to its caller.
constexpr int32_t kEventComplete = 1;    // every renderer reached the end of its stream
constexpr int32_t kEventUserAbort = 2;
constexpr int32_t kEventErrorAbort = 3;  // a filter failed while streaming; the first parameter is its result

// Sample times are in units of 100 ns.
constexpr int64_t kTimeUnitsPerSecond = 10000000;

// A media type: the kind of data, its subtype and a format block whose
// layout the format type names (kFormatWaveFormatEx: an AcmWaveFormat and
// its extra bytes). A null part, in a type used as a pattern, matches
// anything.
struct MediaType {
    Guid majorType{};
    Guid subtype{};
    bool fixedSizeSamples = true;
    bool temporalCompression = false;
    uint32_t sampleSize = 0;
    Guid formatType{};
    std::vector<uint8_t> format;
    friend bool operator==(const MediaType&, const MediaType&) = default;
};
// Every non-null part of pattern's major type, subtype and format type
// equals that part of type.
bool MediaTypeMatches(const MediaType& pattern, const MediaType& type);
// The wave format of a kFormatWaveFormatEx type, or null when the block is
// shorter than one.
const AcmWaveFormat* WaveFormatOf(const MediaType& type);
MediaType MakePcmMediaType(const AcmWaveFormat& format);

// The format block of a kFormatVideoInfo type: the frame's rectangles, its
// rates and the layout of its pixels (a negative height marks rows stored
// top-down).
struct BitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height;
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;  // 0: uncompressed RGB
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t coloursUsed;
    uint32_t coloursImportant;
};
struct VideoInfoHeader {
    int32_t source[4];  // left, top, right, bottom; all 0: the whole frame
    int32_t target[4];
    uint32_t bitRate;
    uint32_t bitErrorRate;
    int64_t averageTimePerFrame;  // 100 ns units
    BitmapInfoHeader bitmap;
};
// The video info of a kFormatVideoInfo type, or null when the block is
// shorter than one.
const VideoInfoHeader* VideoInfoOf(const MediaType& type);
// Uncompressed 24-bit RGB frames, rows bottom-up, each padded to 4 bytes.
MediaType MakeRgb24VideoType(int32_t width, int32_t height, int64_t timePerFrame);

class Unknown {
public:
    virtual Result QueryInterface(const Guid& iid, void** out) = 0;
    virtual uint32_t AddRef() = 0;
    virtual uint32_t Release() = 0;

protected:
    virtual ~Unknown() = default;
};

// Holds one reference.
template <typename T>
class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit Ref(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    // Takes over the reference the caller holds on p.
    static Ref Adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    Ref(const Ref& o) : Ref(o.p_) {}
    Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    Ref& operator=(Ref o) noexcept {
        T* old = p_;
        p_ = o.p_;
        o.p_ = old;
        return *this;
    }
    ~Ref() { Reset(); }
    void Reset() {
        if (p_) {
            T* p = p_;
            p_ = nullptr;
            p->Release();
        }
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Releases what is held and hands out the slot for a call that returns a reference.
    T** Out() {
        Reset();
        return &p_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }

private:
    T* p_ = nullptr;
};

// Asks obj for interface I with id iid: a held reference, or null.
template <typename I>
Ref<I> Query(Unknown* obj, const Guid& iid) {
    void* out = nullptr;
    if (!obj || Failed(obj->QueryInterface(iid, &out))) return nullptr;
    return Ref<I>::Adopt(static_cast<I*>(out));
}

class MediaSample : public Unknown {
public:
    enum class Stream { Media, Control };
    virtual Result GetPointer(uint8_t** out) = 0;
    virtual int32_t GetSize() = 0;
    // kTimeNotSet when the sample carries no times.
    virtual Result GetTime(int64_t* start, int64_t* stop) = 0;
    // A null start clears the times.
    virtual Result SetTime(const int64_t* start, const int64_t* stop) = 0;
    virtual int32_t GetActualDataLength() = 0;
    virtual Result SetActualDataLength(int32_t length) = 0;  // kBufferOverflow beyond the size
    virtual bool IsDiscontinuity() = 0;
    virtual void SetDiscontinuity(bool on) = 0;
    // kOk with the new type when the stream's type changes with this
    // sample, kFalse when it does not.
    virtual Result GetMediaType(MediaType* out) = 0;
    virtual Result SetMediaType(const MediaType* type) = 0;  // null: no change
    virtual Stream GetStream() = 0;
    virtual void SetStream(Stream stream) = 0;
};

struct AllocatorProperties {
    int32_t buffers = 0;
    int32_t bufferSize = 0;
    int32_t alignment = 0;
    int32_t prefix = 0;
};

class MemAllocator : public Unknown {
public:
    virtual Result SetProperties(const AllocatorProperties& request, AllocatorProperties* actual) = 0;
    virtual Result GetProperties(AllocatorProperties* out) = 0;
    virtual Result Commit() = 0;
    virtual Result Decommit() = 0;  // waiting GetBuffer calls fail with kNotCommitted
    // Waits for a free sample; kNotCommitted while decommitted.
    virtual Result GetBuffer(MediaSample** out) = 0;
    // Samples come back here when their last reference goes.
    virtual Result ReleaseBuffer(MediaSample* sample) = 0;
};

enum class PinDirection { Input = 0, Output = 1 };
enum class FilterState { Stopped, Paused, Running };

class Filter;
class Pin;

class EnumMediaTypes : public Unknown {
public:
    virtual Result Next(MediaType* out) = 0;  // kOk, or kFalse at the end
    virtual Result Reset() = 0;
};

class EnumPins : public Unknown {
public:
    virtual Result Next(Pin** out) = 0;  // kOk with a reference, or kFalse at the end
    virtual Result Reset() = 0;
};

class EnumFilters : public Unknown {
public:
    virtual Result Next(Filter** out) = 0;  // kOk with a reference, or kFalse at the end
    virtual Result Reset() = 0;
};

class Pin : public Unknown {
public:
    // Called on the output pin with an input pin; type null or partial
    // leaves the choice to the two pins.
    virtual Result Connect(Pin* receivePin, const MediaType* type) = 0;
    virtual Result ReceiveConnection(Pin* connector, const MediaType& type) = 0;
    // This end only; kFalse when it was not connected.
    virtual Result Disconnect() = 0;
    virtual Result ConnectedTo(Pin** out) = 0;  // kNotConnected
    virtual Result ConnectionMediaType(MediaType* out) = 0;
    virtual Filter* Owner() = 0;  // no reference: a pin lives as long as its filter
    virtual PinDirection Direction() = 0;
    virtual const char* Name() = 0;
    virtual Result QueryAccept(const MediaType& type) = 0;
    virtual Result EnumMediaTypes(media::EnumMediaTypes** out) = 0;
    // Stream control, travelling downstream.
    virtual Result EndOfStream() = 0;
    virtual Result BeginFlush() = 0;
    virtual Result EndFlush() = 0;
    virtual Result NewSegment(int64_t start, int64_t stop, double rate) = 0;
};

// The push transport of an input pin.
class MemInputPin : public Unknown {
public:
    virtual Result GetAllocator(MemAllocator** out) = 0;
    virtual Result NotifyAllocator(MemAllocator* allocator, bool readOnly) = 0;
    virtual Result GetAllocatorRequirements(AllocatorProperties* out) = 0;  // kNotImplemented: none
    virtual Result Receive(MediaSample* sample) = 0;
};

// The pull transport of a source's output pin. Positions travel in sample
// times as bytes × kTimeUnitsPerSecond.
class AsyncReader : public Unknown {
public:
    virtual Result RequestAllocator(MemAllocator* preferred, AllocatorProperties* properties,
                                    MemAllocator** actual) = 0;
    virtual Result Request(MediaSample* sample, uintptr_t user) = 0;
    virtual Result WaitForNext(uint32_t timeoutMs, MediaSample** sample, uintptr_t* user) = 0;
    virtual Result SyncReadAligned(MediaSample* sample) = 0;
    virtual Result SyncRead(int64_t position, int32_t length, uint8_t* buffer) = 0;
    virtual Result Length(int64_t* total, int64_t* available) = 0;
    virtual Result BeginFlush() = 0;
    virtual Result EndFlush() = 0;
};

// What a filter reports to the graph it is in (not counted: the graph
// outlives the membership).
class GraphEventSink {
public:
    virtual Result NotifyEvent(int32_t code, intptr_t param1, intptr_t param2) = 0;

protected:
    ~GraphEventSink() = default;
};

class Filter : public Unknown {
public:
    virtual Guid ClassId() = 0;
    virtual Result Stop() = 0;
    virtual Result Pause() = 0;
    virtual Result Run(int64_t start) = 0;
    virtual FilterState State() = 0;
    virtual Result EnumPins(media::EnumPins** out) = 0;
    // A null graph leaves the graph.
    virtual Result JoinFilterGraph(GraphEventSink* graph, const char* name) = 0;
    virtual const char* Name() = 0;  // the name in its graph ("" outside one)
};

class GraphBuilder : public Unknown {
public:
    virtual Result AddFilter(Filter* filter, const char* name) = 0;
    virtual Result RemoveFilter(Filter* filter) = 0;
    virtual Result EnumFilters(media::EnumFilters** out) = 0;  // in the order they were added
    virtual Result ConnectDirect(Pin* output, Pin* input, const MediaType* type) = 0;
    // Agrees on any type both take; kCannotConnect when there is none.
    virtual Result Connect(Pin* output, Pin* input) = 0;
    virtual Result Disconnect(Pin* pin) = 0;  // that end only
    // Connects the output pin onwards until every stream ends in a renderer:
    // filters already in the graph first, then registered ones by merit.
    virtual Result Render(Pin* output) = 0;
    // Adds a source filter for the file and renders each of its outputs;
    // kOk when at least one stream reached a renderer. The name is a host
    // path; the play list must be null. kFileNotFound, kUnknownFileType (no
    // source takes the file) or kCannotRender, the graph then as before.
    virtual Result RenderFile(const char16_t* fileName, const char16_t* playList) = 0;
};

class MediaControl : public Unknown {
public:
    virtual Result Run() = 0;
    // Stops every filter, downstream first; returns once every streaming
    // thread of the graph has ended.
    virtual Result Stop() = 0;
    virtual Result GetState(FilterState* out) = 0;
};

class MediaEvent : public Unknown {
public:
    // kOk with kEventComplete, kEventUserAbort or kEventErrorAbort; kAbort
    // when none came within the time; kWrongState while the graph is stopped.
    virtual Result WaitForCompletion(int32_t timeoutMs, int32_t* code) = 0;
};

// The sound level of a graph's audio output, in hundredths of a decibel
// (0 full, -10000 silent) and balance (-10000 left .. 10000 right).
class BasicAudio : public Unknown {
public:
    virtual Result SetVolume(int32_t volume) = 0;  // kInvalidArg outside -10000 .. 0
    virtual Result GetVolume(int32_t* volume) = 0;
    virtual Result SetBalance(int32_t balance) = 0;  // kInvalidArg outside -10000 .. 10000
    virtual Result GetBalance(int32_t* balance) = 0;
};

// Positions in a graph's streams, in 100 ns units. A graph answers for the
// first of its filters that can.
class MediaSeeking : public Unknown {
public:
    virtual Result GetDuration(int64_t* duration) = 0;  // kNotImplemented when no filter knows it
    virtual Result GetCurrentPosition(int64_t* position) = 0;
};

// A source filter that reads a file by name.
class FileSourceFilter : public Unknown {
public:
    // Once, before the filter joins a graph: kFileNotFound, or
    // kUnknownFileType when the file holds nothing the filter can offer.
    virtual Result Load(const char* hostPath) = 0;
};

class MediaFilter : public Unknown {
public:
    // The graph runs without a clock; only null is accepted.
    virtual Result SetSyncSource(Unknown* clock) = 0;
};

// Creates an object of a registered class and hands out the interface
// asked for. Aggregation (a non-null outer object) is not supported.
Result CreateMediaObject(const Guid& classId, Unknown* outer, uint32_t context, const Guid& iid, void** out);

}  // namespace morpotta::platform::media
