// The base renderer and the two renderers of the back end: the null
// renderer, which takes any type, and the audio renderer that Render puts
// at the end of a PCM stream. Neither plays anything: samples are dropped
// as they come (the graph has no clock to pace them by).
#include "mediagraph/mediagraph_internal.h"

#include <new>

namespace morpotta::platform::media {

class BaseRenderer::InputPin final : public BaseInputPin {
public:
    explicit InputPin(BaseRenderer* renderer) : BaseInputPin(renderer, "Input"), renderer_(renderer) {}

    Result CheckMediaType(const MediaType& type) override { return renderer_->CheckMediaType(type); }
    Result SetMediaType(const MediaType& type) override {
        Result r = BaseInputPin::SetMediaType(type);
        return Failed(r) ? r : renderer_->SetMediaType(type);
    }
    Result Receive(MediaSample* sample) override {
        Result r = BaseInputPin::Receive(sample);
        return r != kOk ? r : renderer_->DoRenderSample(sample);
    }
    Result EndOfStream() override {
        Result r = BaseInputPin::EndOfStream();
        if (r == kOk) renderer_->OnEndOfStream();
        return r;
    }
    Result EndFlush() override {
        renderer_->ClearEndOfStream();
        return BaseInputPin::EndFlush();
    }

private:
    BaseRenderer* renderer_;
};

BaseRenderer::BaseRenderer(const Guid& classId) : BaseFilter(classId), input_(std::make_unique<InputPin>(this)) {}

BaseRenderer::~BaseRenderer() = default;

BasePin* BaseRenderer::GetPin(int n) { return n == 0 ? input_.get() : nullptr; }

Result BaseRenderer::Stop() {
    Result r = BaseFilter::Stop();
    ClearEndOfStream();
    return r;
}

// An end that came while paused is reported once running.
Result BaseRenderer::Run(int64_t start) {
    Result r = BaseFilter::Run(start);
    if (Failed(r)) return r;
    std::lock_guard<std::mutex> hold(endLock_);
    if (endOfStream_ && !completeSent_) {
        completeSent_ = true;
        NotifyEvent(kEventComplete, 0, 0);
    }
    return kOk;
}

void BaseRenderer::OnEndOfStream() {
    std::lock_guard<std::mutex> hold(endLock_);
    endOfStream_ = true;
    if (state_.load() == FilterState::Running && !completeSent_) {
        completeSent_ = true;
        NotifyEvent(kEventComplete, 0, 0);
    }
}

void BaseRenderer::ClearEndOfStream() {
    std::lock_guard<std::mutex> hold(endLock_);
    endOfStream_ = false;
    completeSent_ = false;
}

namespace {

class NullRenderer final : public BaseRenderer {
public:
    NullRenderer() : BaseRenderer(kClassNullRenderer) {}
    Result CheckMediaType(const MediaType&) override { return kOk; }
};

class AudioRenderer final : public BaseRenderer {
public:
    AudioRenderer() : BaseRenderer(kClassAudioRenderer) {}
    Result CheckMediaType(const MediaType& type) override {
        const AcmWaveFormat* f = WaveFormatOf(type);
        bool pcm = type.majorType == kMediaTypeAudio && type.subtype == kSubtypePcm && f &&
                   f->formatTag == kWaveFormatPcm && f->channels > 0 && f->blockAlign > 0;
        return pcm ? kOk : kTypeNotAccepted;
    }
};

Unknown* AsUnknown(Filter* f) { return f; }

}  // namespace

Unknown* CreateNullRenderer() { return AsUnknown(new (std::nothrow) NullRenderer); }
Unknown* CreateAudioRenderer() { return AsUnknown(new (std::nothrow) AudioRenderer); }

}  // namespace morpotta::platform::media
