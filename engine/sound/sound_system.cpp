// Sound system start-up, shut-down and the worker thread that refills
// stream sounds every 30 ms on machines with more than one logical
// processor.
#include "engine/lifecycle.h"
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/engine_thread.h"
#include "platform/audio.h"
#include "platform/lasting_state.h"
#include "platform/thread.h"
#include "sound/music/music_internal.h"
#include "sound/sound_internal.h"

#include <string>

using namespace morpotta;


namespace morpotta {

namespace {

constexpr uint32_t kSilentBufferFlags = kBufferStatic | kBufferGlobalFocus;

const char* YesNo(uint32_t flags, uint32_t bit) { return (flags & bit) ? "OK" : "NO"; }

// The host names devices in UTF-8; the log takes code page 932.
void LogSoundDeviceCallback(void*, const char* module, const char* description) {
    std::string moduleText, descriptionText;
    if (!ConvertUtf8ToCp932(module, &moduleText)) moduleText.assign(1, '?');
    if (!ConvertUtf8ToCp932(description, &descriptionText)) descriptionText.assign(1, '?');
    WriteLogFormatW(u"モジュール名:%15hs  ドライバ記述:%hs ", moduleText.c_str(), descriptionText.c_str());
}

void LogDeviceReport() {
    IncreaseLogIndent();
    SoundDeviceCaps caps{};
    GetSoundDeviceCaps(&caps);
    WriteLogFormatW(u"DirectSound デバイスを列挙します");
    IncreaseLogIndent();
    EnumerateSoundDevices(LogSoundDeviceCallback, nullptr);
    DecreaseLogIndent();
    WriteLogFormatW(u"最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ", caps.maxSecondaryRate / 1000.0,
                    caps.minSecondaryRate / 1000.0);
    WriteLogFormatW(u"総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB ", caps.totalHardwareBytes / 1024.0,
                    caps.freeHardwareBytes / 1024.0);
    WriteLogFormatW(u"利用可能サンプリング精度");
    WriteLogFormatW(u" プライマリ １６bit = %hs  ８bit = %hs ", YesNo(caps.flags, kCapsPrimary16Bit),
                    YesNo(caps.flags, kCapsPrimary8Bit));
    WriteLogFormatW(u" セカンダリ １６bit = %hs  ８bit = %hs ", YesNo(caps.flags, kCapsSecondary16Bit),
                    YesNo(caps.flags, kCapsSecondary8Bit));
    WriteLogFormatW(u"利用可能チャンネル");
    WriteLogFormatW(u" プライマリ MONO = %hs  STEREO = %hs ", YesNo(caps.flags, kCapsPrimaryMono),
                    YesNo(caps.flags, kCapsPrimaryStereo));
    WriteLogFormatW(u" セカンダリ MONO = %hs  STEREO = %hs ", YesNo(caps.flags, kCapsSecondaryMono),
                    YesNo(caps.flags, kCapsSecondaryStereo));
    DecreaseLogIndent();
}

void CreateSilentBuffer(SoundModule& m) {
    const WAVEFORMATEX format{1, 2, 44100, 176400, 4, 16, 0};
    SoundBufferDesc desc{kSilentBufferFlags, 4 * 100, &format};
    if (CreateDeviceBuffer(&desc, &m.silent) != 0) {
        WriteLogFormatW(u"無音バッファの作成に失敗しました");
        m.silent = nullptr;
        return;
    }
    void *p1, *p2;
    uint32_t n1, n2;
    if (LockDeviceBuffer(m.silent, 0, 400, &p1, &n1, &p2, &n2) != 0) {
        WriteLogFormatW(u"無音バッファのロックに失敗しました");
        ReleaseDeviceBuffer(m.silent);
        m.silent = nullptr;
        return;
    }
    FillByteRange(p1, 0, n1);
    if (p2) FillByteRange(p2, 0, n2);
    UnlockDeviceBuffer(m.silent, p1, n1, p2, n2);
    SetDeviceBufferPosition(m.silent, 0);
    PlayDeviceBuffer(m.silent, 1);
}

void SoundWorkerThread() {
    const EngineTaskScope task("Sound worker");
    SoundModule& m = Sound();
    platform::SetCurrentThreadName("sound worker");
    platform::SetCurrentThreadPriority(platform::ThreadPriority::TimeCritical);
    while (!m.workerStop.load(std::memory_order_acquire)) {
        uint64_t asked;
        {
            std::lock_guard<std::mutex> wait(m.workerMutex);
            asked = m.workerPassesAsked;
        }
        {
            SoundLockGuard lock(m.lock);
            if (m.open.load(std::memory_order_acquire)) {
                for (ListNode* n = m.streamHead.next; n && n->next; n = n->next) {
                    auto* entry = static_cast<SoundEntry*>(n->data);
                    if (entry->stream.active) RefillStreamEntry(entry);
                }
            }
        }
        std::unique_lock<std::mutex> wait(m.workerMutex);
        m.workerPassesDone = asked;
        m.workerPassDone.notify_all();
        m.workerWake.wait_for(wait, std::chrono::milliseconds(kWorkerPeriodMs), [&] {
            return m.workerStop.load(std::memory_order_acquire) || m.workerPassesAsked != asked;
        });
    }
    std::lock_guard<std::mutex> wait(m.workerMutex);
    m.workerEnded = true;
    m.workerPassDone.notify_all();
}

int ProcessorCount() {
    SoundModule& m = Sound();
    return m.processorCountOverride > 0 ? m.processorCountOverride : LogicalProcessorCount();
}

void StopWorker(SoundModule& m) {
    if (!m.worker.joinable()) return;
    {
        std::lock_guard<std::mutex> wait(m.workerMutex);
        m.workerStop.store(true, std::memory_order_release);
    }
    m.workerWake.notify_all();
    m.worker.join();
}

}  // namespace

SoundModule& Sound() {
    return platform::LastingState<SoundModule>();
}

WAVEFORMATEX ComputePrimaryFormat(const SoundDeviceCaps& caps) {
    WAVEFORMATEX f{};
    f.formatTag = 1;
    f.channels = (caps.flags & kCapsPrimaryStereo) ? 2 : 1;
    f.samplesPerSec = caps.maxSecondaryRate < 44100 ? caps.maxSecondaryRate : 44100;
    uint16_t bytes = (caps.flags & kCapsPrimary16Bit) ? 2 : 1;
    f.bitsPerSample = uint16_t(bytes * 8);
    f.blockAlign = uint16_t(bytes * f.channels);
    f.avgBytesPerSec = f.blockAlign * f.samplesPerSec;
    return f;
}

}  // namespace morpotta

int SetSoundDeviceBackend(const char* name) {
    const PublicCall call("SetSoundDeviceBackend");
    return ChooseBackend(platform::SelectAudioBackend, name, Sound().open.load());
}

int IsSoundSystemOpen() { return Sound().open.load() ? 1 : 0; }

namespace morpotta {

int InitializeSoundSystem() {
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    if (m.open.load()) return -1;
    WriteLogFormatW(u"DirectSound の初期化を行います");
    WriteLogFormatW(u"DirectSound インターフェースの取得を行います....  ");
    if (OpenSoundDevice() != 0) {
        WriteLogFormatW(u"DirectSoundインターフェースの作成に失敗しました");
        return -1;
    }
    WriteLogFormatW(u"成功");
    WriteLogFormatW(u"引き続きインターフェースの初期化処理...  ");
    WriteLogFormatW(u"成功");
    SoundBufferDesc primaryDesc{kBufferPrimary, 0, nullptr};
    if (CreateDeviceBuffer(&primaryDesc, &m.primary) != 0) {
        WriteLogFormatW(u"DirectSoundのプライマリサウンドバッファの作成に失敗しました");
        CloseSoundDevice();
        return -1;
    }
    SoundDeviceCaps caps{};
    GetSoundDeviceCaps(&caps);
    WAVEFORMATEX primaryFormat = ComputePrimaryFormat(caps);
    if (SetDeviceBufferFormat(m.primary, &primaryFormat) != 0)
        WriteLogFormatW(u"DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました");
    if (!IsSoundDeviceOpen()) {
        // The output could not be opened again at the primary rate.
        CloseSoundDevice();
        m.primary = nullptr;
        return -1;
    }
    CreateSilentBuffer(m);
    m.createType = 0;
    m.oggSampleBytes = 2;
    InitLinkedList(&m.streamHead, &m.streamTail);
    if (InitHandleTable(&m.table, HANDLE_KIND_SOUND, kSoundTableSize, kSoundTableSize, 0) != 0) {
        CloseSoundDevice();
        m.primary = m.silent = nullptr;
        return -1;
    }
    if (InitializeMusic() != 0) {
        TerminateHandleTable(&m.table);
        CloseSoundDevice();
        m.primary = m.silent = nullptr;
        return -1;
    }
    m.open.store(true);
    LogDeviceReport();
    DeleteAllSoundHandles();
    m.workerStop.store(false);
    m.workerEnded = false;
    if (ProcessorCount() > 1) m.worker = std::thread(SoundWorkerThread);
    WriteLogFormatW(u"DirectSound の初期化は正常に終了しました");
    return 0;
}

int TerminateSoundSystem() {
    SoundModule& m = Sound();
    if (!m.open.load()) return -1;
    // The worker takes the sound lock each pass: stop it before taking it
    // here, and wait for it whatever state the window is in.
    StopWorker(m);
    SoundLockGuard lock(m.lock);
    if (!m.open.load()) return -1;
    TerminateMusic();
    DeleteAllSoundHandles();
    m.open.store(false);
    TerminateHandleTable(&m.table);
    if (m.primary) StopDeviceBuffer(m.primary);
    if (m.silent) StopDeviceBuffer(m.silent);
    CloseSoundDevice();  // releases the primary and the silent buffer
    m.primary = nullptr;
    m.silent = nullptr;
    WriteLogFormatW(u"DirectSound の終了処理は正常に終了しました");
    return 0;
}

void StopSoundBeforeProcessEnd() {
    SoundModule& m = Sound();
    if (m.worker.joinable()) {
        std::unique_lock<std::mutex> wait(m.workerMutex);
        m.workerStop.store(true, std::memory_order_release);
        m.workerWake.notify_all();
        // The worker ends within a pass, unless it waits for the sound lock
        // that this thread holds below the call that found the window system
        // gone: then it cannot run again before the process ends, and is
        // let go rather than waited for.
        const bool ended = m.workerPassDone.wait_for(wait, std::chrono::milliseconds(kWorkerEndWaitMs),
                                                     [&] { return m.workerEnded; });
        wait.unlock();
        if (ended) m.worker.join();
        else m.worker.detach();
    }
    // The host's audio thread stops with the output; the buffers stay for
    // the end of the process.
    CloseSoundDeviceOutput();
}

int UpdateSoftSoundPlayers() { return Sound().open.load() ? 0 : -1; }

void SetSoundProcessorCountForTesting(int count) { Sound().processorCountOverride = count; }

bool IsSoundWorkerRunning() { return Sound().worker.joinable(); }

void RunSoundWorkerPassForTesting() {
    SoundModule& m = Sound();
    if (!m.worker.joinable()) return;
    std::unique_lock<std::mutex> wait(m.workerMutex);
    uint64_t ticket = ++m.workerPassesAsked;
    m.workerWake.notify_all();
    m.workerPassDone.wait(wait, [&] { return m.workerPassesDone >= ticket || m.workerStop.load(); });
}

}  // namespace morpotta
