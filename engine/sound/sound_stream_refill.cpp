// Stream playback: the one-second ring is filled three quarters of a second
// ahead of the play cursor, an eighth of a second at a time, from the
// pieces in turn; the play position counts what passed the cursor.
#include "sound/sound_internal.h"

#include "engine/log.h"
#include "foundation/engine_thread.h"

#include <cstring>

using namespace morpotta;

namespace morpotta {

namespace {

struct LockRegions {
    uint32_t offset;
    uint8_t* region1;
    uint32_t size1;
    uint8_t* region2;
    uint32_t size2;
    uint32_t free1;
    uint32_t free2;
};

uint32_t ChunkBytes(const WAVEFORMATEX& f) { return (f.avgBytesPerSec >> 3) / f.blockAlign * f.blockAlign; }
uint32_t LeadBytes(const WAVEFORMATEX& f) {
    uint32_t quarter3 = uint32_t((uint64_t(f.avgBytesPerSec) * 192) >> 8);
    return (quarter3 + f.blockAlign - 1) / f.blockAlign * f.blockAlign;
}
uint32_t FirstFillBytes(const WAVEFORMATEX& f) {
    return uint32_t((uint64_t(f.avgBytesPerSec) * 192) >> 8) / f.blockAlign * f.blockAlign;
}

// Bytes from one ring offset forward to another.
uint32_t RingDistance(uint32_t from, uint32_t to, uint32_t size) { return to >= from ? to - from : size - from + to; }

// Counts the cursor's travel since it was last seen towards the end of the
// data; true once it has reached or passed the end (the cursor then points
// behind the last byte played). A cursor that jumped over the end, or over
// the ring's end and then the data's, has passed it all the same.
bool CursorReachedEnd(StreamState& s, uint32_t cursor) {
    uint32_t travelled = RingDistance(s.endLastCursor, cursor, s.bufferSize);
    s.endLastCursor = cursor;
    if (travelled >= s.endRemaining) return true;
    s.endRemaining -= travelled;
    return false;
}

bool InCircularRange(int64_t p, int64_t from, int64_t to) {
    return from <= to ? (p >= from && p <= to) : (p >= from || p <= to);
}

uint32_t PlayCursor(SoundEntry* e) {
    uint32_t p = 0;
    GetDeviceBufferCursors(e->buffers[0].buffer, &p, nullptr);
    return p;
}

bool IsBufferPlaying(SoundEntry* e) {
    uint32_t status = 0;
    return GetPlaybackBufferStatus(&e->buffers[0], &status) == 0 && (status & kBufferStatusPlaying);
}

bool LockRange(SoundEntry* e, uint32_t offset, uint32_t bytes, LockRegions* r) {
    std::memset(r, 0, sizeof *r);
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (LockDeviceBuffer(e->buffers[0].buffer, offset, bytes, &p1, &n1, &p2, &n2) != 0) return false;
    *r = LockRegions{offset, static_cast<uint8_t*>(p1), n1, static_cast<uint8_t*>(p2), n2, n1, n2};
    return true;
}

void UnlockRange(SoundEntry* e, LockRegions* r) {
    UnlockDeviceBuffer(e->buffers[0].buffer, r->region1, r->size1, r->region2, r->size2);
}

// Buffer offset just behind the last byte written into the regions.
int32_t OffsetBehindWritten(SoundEntry* e, const LockRegions& r) {
    if (r.free1 > 0 || r.size2 == 0) return int32_t((r.offset + r.size1 - r.free1) % e->stream.bufferSize);
    return int32_t(r.size2 - r.free2);
}

void FillStreamSilence(SoundEntry* e, LockRegions* r, uint32_t n) {
    // Unsigned 8-bit samples are silent at their midpoint.
    int value = e->format.bitsPerSample == 8 ? 0x80 : 0;
    uint32_t a = n < r->free1 ? n : r->free1;
    std::memset(r->region1 + (r->size1 - r->free1), value, a);
    r->free1 -= a;
    n -= a;
    uint32_t b = n < r->free2 ? n : r->free2;
    if (b) std::memset(r->region2 + (r->size2 - r->free2), value, b);
    r->free2 -= b;
}

int ReadConverterIntoLock(LockRegions* r, SOUNDCONV* conv, uint32_t bytes) {
    uint32_t written = 0;
    while (written < bytes) {
        uint8_t* dest;
        uint32_t room;
        uint32_t* free;
        if (r->free1 > 0) {
            dest = r->region1 + (r->size1 - r->free1);
            free = &r->free1;
        } else if (r->free2 > 0) {
            dest = r->region2 + (r->size2 - r->free2);
            free = &r->free2;
        } else {
            break;
        }
        room = *free < bytes - written ? *free : bytes - written;
        int n = RunSoundConverter(conv, dest, int(room));
        if (n <= 0) break;
        *free -= uint32_t(n);
        written += uint32_t(n);
    }
    return int(written);
}

// The ring and the counters as after the end of the data: stopped, from the
// top next time.
void FinishStream(SoundEntry* e) {
    StreamState& s = e->stream;
    StopPlaybackBuffer(&e->buffers[0]);
    s.ended = false;
    s.piecePosition = 0;
    s.playedBytes = 0;
    s.loopPending = false;
    s.passCount = 0;
    s.currentPiece = 0;
    s.active = false;
}

void ResetToTop(StreamState& s) {
    s.allPiecesDone = false;
    s.piecePosition = 0;
    s.playedBytes = 0;
    s.loopPending = false;
    s.passCount = 0;
    s.currentPiece = 0;
    s.active = false;
}

// The end of the current piece's data: the next pass or piece, a loop back
// to the first piece, or the end (-1).
int AdvanceStreamPiece(SoundEntry* e, LockRegions* r, int32_t endCursor) {
    StreamState& s = e->stream;
    StreamPiece* piece = &s.pieces[s.currentPiece];
    s.passCount++;
    if (s.passCount > piece->repeatCount) {
        if (s.currentPiece == s.pieceCount - 1 && s.playType == kPlayTypeLoop && s.loopPending) return 0;
        s.passCount = 0;
        s.currentPiece++;
        if (s.currentPiece >= s.pieceCount) {
            s.allPiecesDone = true;
            if (s.playType != kPlayTypeLoop) {
                s.ended = true;
                s.endOffset = OffsetBehindWritten(e, *r);
                s.endCursor = endCursor;
                s.endRemaining = RingDistance(uint32_t(endCursor), uint32_t(s.endOffset), s.bufferSize);
                s.endLastCursor = uint32_t(endCursor);
                FillStreamSilence(e, r, ChunkBytes(e->format));
                return -1;
            }
            s.currentPiece = 0;
            s.loopPending = true;
            s.loopOffset = OffsetBehindWritten(e, *r);
        }
    }
    s.piecePosition = 0;
    SeekSoundConverter(&s.pieces[s.currentPiece].conv, 0);
    return 0;
}

// The stream sound a public call names; null after a line saying why.
SoundEntry* GetStreamForCall(int handle) {
    SoundEntry* e = GetSoundForCall(handle);
    if (e && e->kind != kSoundStream) {
        Refuse("sound %d is held whole, not a stream sound", handle);
        return nullptr;
    }
    return e;
}

}  // namespace

void UpdateStreamPosition(SoundEntry* e, int64_t cursor) {
    if (e->kind != kSoundStream || !e->stream.active) return;
    StreamState& s = e->stream;
    uint32_t p = cursor < 0 ? PlayCursor(e) : uint32_t(cursor);
    uint32_t last = s.lastCursor;
    if (p == last) return;
    uint32_t l = uint32_t(s.loopOffset);
    bool passedLoop = false;
    if (s.loopPending) {
        if (last < p) {
            if (last < l && l <= p) {
                s.playedBytes = p - l;
                passedLoop = true;
            }
        } else if (l > last) {
            s.playedBytes = (s.bufferSize - l) + p;
            passedLoop = true;
        } else if (l <= p) {
            // Reaching the loop offset counts as passing it, after a wrap as
            // without one (a cursor landing exactly on 0 must not miss it).
            s.playedBytes = p - l;
            passedLoop = true;
        }
    }
    if (passedLoop) {
        s.loopPending = false;
    } else {
        s.playedBytes += last < p ? p - last : s.bufferSize - last + p;
    }
    s.lastCursor = p;
}

}  // namespace morpotta

int PrepareStreamPlayback(int handle) {
    const PublicCall call("PrepareStreamPlayback");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetSoundForCall(handle);
    if (!e) return -1;
    PrepareStreamEntry(e);
    return 0;
}

namespace morpotta {

void PrepareStreamEntry(SoundEntry* e) {
    if (e->kind != kSoundStream || IsBufferPlaying(e) || e->stream.active) return;
    StreamState& s = e->stream;
    SetPlaybackBufferPosition(&e->buffers[0], 0);
    s.writeOffset = kStreamNotFilled;
    s.threshold = -1;
    s.lastCursor = 0;
    s.ended = false;
    SeekSoundConverter(&s.pieces[s.currentPiece].conv, int(s.piecePosition / e->format.blockAlign));
    s.active = true;
    RefillStreamEntry(e);
}

int RefillStreamSound(int handle) {
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = LookupSound(handle);
    return e ? RefillStreamEntry(e) : -1;
}

// Under the sound lock for a sound in the table: the worker and the
// engine's thread both come here.
int RefillStreamEntry(SoundEntry* e) {
    if (e->kind != kSoundStream || !e->stream.active) return 0;
    StreamState& s = e->stream;
    const WAVEFORMATEX& f = e->format;
    const uint32_t bufferSize = s.bufferSize;
    UpdateStreamPosition(e, -1);

    if (s.ended) {
        uint32_t p = PlayCursor(e);
        // Stopped once the cursor has reached the end of the data, or at
        // once when nothing was queued when the end was found.
        if (CursorReachedEnd(s, p)) {
            FinishStream(e);
            return 0;
        }
        if (!InCircularRange(p, s.threshold, s.writeOffset)) return -1;
        LockRegions r;
        uint32_t chunk = ChunkBytes(f);
        if (chunk && LockRange(e, uint32_t(s.writeOffset), chunk, &r)) {
            FillStreamSilence(e, &r, chunk);
            UnlockRange(e, &r);
        }
        s.writeOffset += int32_t(chunk);
    } else {
        uint32_t offset, size;
        int32_t endCursor;
        if (!IsBufferPlaying(e)) {
            if (s.writeOffset != kStreamNotFilled) return 0;
            offset = 0;
            size = FirstFillBytes(f);
            endCursor = 0;
        } else {
            size = ChunkBytes(f);
            uint32_t p = PlayCursor(e);
            if (!InCircularRange(p, s.threshold, s.writeOffset)) return -1;
            endCursor = int32_t(p);
            uint64_t w = uint32_t(s.writeOffset);
            uint64_t adjusted = p;
            if (s.writeOffset < s.threshold) {
                if (p < uint32_t(s.writeOffset)) adjusted += bufferSize;
                w += bufferSize;
            }
            uint64_t queued = w - adjusted;
            uint64_t ahead = queued * 512 / f.avgBytesPerSec;
            if (ahead < 192) size = uint32_t((((192 - ahead) * f.avgBytesPerSec) >> 9) / f.blockAlign * f.blockAlign);
            offset = uint32_t(s.writeOffset);
        }
        if (size > bufferSize) size = bufferSize;
        LockRegions r;
        uint32_t remaining = size;
        if (size && LockRange(e, offset, size, &r)) {
            while (remaining > 0 && !s.ended) {
                int start = s.currentPiece;
                StreamPiece* piece = &s.pieces[start];
                int n = ReadConverterIntoLock(&r, &piece->conv, remaining);
                if (n == 0) {
                    AdvanceStreamPiece(e, &r, endCursor);
                } else {
                    remaining -= uint32_t(n);
                    s.piecePosition += n;
                }
                if (s.currentPiece == start) break;
            }
            UnlockRange(e, &r);
        }
        uint32_t written = size - remaining;
        if (s.writeOffset == kStreamNotFilled) {
            s.writeOffset = int32_t(written);
            s.threshold = 0;
            return 0;
        }
        s.writeOffset += int32_t(written);
    }
    if (s.writeOffset >= int32_t(bufferSize)) s.writeOffset -= int32_t(bufferSize);
    s.threshold = s.writeOffset - int32_t(LeadBytes(f));
    if (s.threshold < 0) s.threshold += int32_t(bufferSize);
    return 0;
}

int RefillStreamSounds() {
    SoundModule& m = Sound();
    SoundLockGuard lock(m.lock);
    if (!m.open.load()) return -1;
    for (ListNode* n = m.streamHead.next; n && n->next;) {
        ListNode* next = n->next;
        auto* e = static_cast<SoundEntry*>(n->data);
        if (e->stream.active) RefillStreamEntry(e);
        n = next;
    }
    return 0;
}

}  // namespace morpotta

int PlayStreamSound(int handle, int playType, int fromTop) {
    const PublicCall call("PlayStreamSound");
    if (!AllowOnlyOnEngineThread()) return -1;
    {
        SoundLockGuard lock(Sound().lock);
        SoundEntry* e = GetStreamForCall(handle);
        if (!e) return -1;
        StreamState& s = e->stream;
        if (!fromTop && IsBufferPlaying(e)) return -1;
        StopStreamSound(handle);
        if (((s.playType ^ playType) & 2) && s.allPiecesDone) ResetToTop(s);
        if (fromTop) {
            s.allPiecesDone = false;
            if (s.playedBytes != 0) ResetToTop(s);
        }
        s.playType = playType;
        PrepareStreamPlayback(handle);
        SetPlaybackBufferVolume(&e->buffers[0], e->volume);
        SetPlaybackBufferPan(&e->buffers[0], 0);
        SetPlaybackBufferFrequency(&e->buffers[0], e->frequency);
        PlayPlaybackBuffer(&e->buffers[0], 1);
    }
    if (playType == kPlayTypeNormal) WaitWhilePlaying(handle);
    return 0;
}

int StopStreamSound(int handle) {
    const PublicCall call("StopStreamSound");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetStreamForCall(handle);
    if (!e) return -1;
    UpdateStreamPosition(e, -1);
    uint32_t status;
    if (GetPlaybackBufferStatus(&e->buffers[0], &status) != 0) return -1;
    if (status & kBufferStatusPlaying) StopPlaybackBuffer(&e->buffers[0]);
    return 0;
}

int IsStreamSoundPlaying(int handle) {
    const PublicCall call("IsStreamSoundPlaying");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetStreamForCall(handle);
    if (!e) return -1;
    return IsBufferPlaying(e) ? 1 : 0;
}

int GetStreamSoundPosition(int handle) {
    const PublicCall call("GetStreamSoundPosition");
    if (!AllowOnlyOnEngineThread()) return -1;
    SoundLockGuard lock(Sound().lock);
    SoundEntry* e = GetStreamForCall(handle);
    if (!e) return -1;
    UpdateStreamPosition(e, -1);
    int ms = SamplesToMilliseconds(e->stream.playedBytes / e->format.blockAlign, int(e->format.samplesPerSec));
    int total = GetSoundTotalTime(handle);
    return ms > total ? total : ms;
}
