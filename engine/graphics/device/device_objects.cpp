// The buffers and textures of the graphics device, and the lists of those
// that wait for the device's thread. The back end is reached from the
// thread that made the device alone (a GL context is current on one
// thread): what another thread (a loader) makes, fills or lets go waits in
// a list for that thread, which makes and fills it before its next draw
// and releases it at its next present.
#include "graphics/device/device_internal.h"

#include "engine/log.h"
#include "engine/memory.h"
#include "graphics/graphics_internal.h"
#include "platform/lasting_state.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace morpotta {

namespace {

// The device's objects of one kind: buffers or textures.
template <typename T>
struct DeviceObjects {
    std::vector<T*> live;     // freed with the device if their owners forgot them
    std::vector<T*> waiting;  // to make or fill on the device's thread
    std::vector<T*> doomed;   // to release there
};

struct DeviceObjectsModule {
    // Under objectsLock: the object lists, the serial counter, and every
    // object's lock, made and dirty fields.
    std::mutex objectsLock;
    DeviceObjects<DeviceBufferRecord> buffers;
    DeviceObjects<DeviceTexture> textures;
    uint32_t nextBufferSerial = 1;
    std::atomic<bool> objectsWait{false};  // an object waits for the device's thread
};

DeviceObjectsModule& DeviceObjectsState() {
    return platform::LastingState<DeviceObjectsModule>();
}

template <typename T>
void Forget(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) {
        *it = list.back();
        list.pop_back();
    }
}

template <typename T>
void AddOnce(std::vector<T*>& list, T* item) {
    if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

template <typename T>
bool WaitForDeviceThread(const DeviceObjects<T>& objects) {
    return !objects.waiting.empty() || !objects.doomed.empty();
}

// Caller holds objectsLock.
void UpdateObjectsWait() {
    const DeviceObjectsModule& s = DeviceObjectsState();
    DeviceObjectsState().objectsWait.store(WaitForDeviceThread(s.buffers) || WaitForDeviceThread(s.textures));
}

// What buffers and textures do each their own way on their path to the
// back end; the templates below take them through it alike.

int MakeOnBackend(DeviceBufferRecord* b) { return ActiveDeviceBackend()->createBuffer(b); }
int MakeOnBackend(DeviceTexture* t) { return ActiveDeviceBackend()->createTexture(t); }

bool IsLocked(const DeviceBufferRecord* b) { return b->locked; }
bool IsLocked(const DeviceTexture* t) { return t->lockedMask != 0; }


void FreeRecord(DeviceBufferRecord* b) {
    FreeMemory(b->bytes);
    FreeMemory(b);
}

void FreeRecord(DeviceTexture* t) {
    for (int l = 0; l < t->levels; ++l) FreeMemory(t->level[l].bytes);
    FreeMemory(t);
}

// The buffer to the back end, made or brought up to date (device thread,
// objectsLock held).
void SendLocked(DeviceBufferRecord* b) {
    if (!b->made) {
        if (MakeOnBackend(b) != 0) {
            WriteLogText("A buffer made on another thread could not be made on the graphics device");
            b->dirtyFrom = b->dirtyTo = 0;
            return;
        }
        b->made = true;
    } else if (b->dirtyTo > b->dirtyFrom) {
        ActiveDeviceBackend()->uploadBuffer(b, b->dirtyFrom, b->dirtyTo - b->dirtyFrom);
        NoteDeviceCall(DEVICE_CALL_BUFFER_UPLOAD, b->dirtyFrom, b->dirtyTo - b->dirtyFrom, reinterpret_cast<uintptr_t>(b));
    }
    b->dirtyFrom = b->dirtyTo = 0;
}

// The texture to the back end, made or brought up to date (device thread,
// objectsLock held).
void SendLocked(DeviceTexture* t) {
    if (!t->made) {
        if (MakeOnBackend(t) != 0)
            WriteLogText("A texture made on another thread could not be made on the graphics device");
        else
            t->made = true;
    } else {
        for (int level = 0; level < t->levels; ++level) {
            if (!(t->dirtyLevels & (1u << level))) continue;
            ActiveDeviceBackend()->uploadTexture(t, level);
            NoteDeviceCall(DEVICE_CALL_TEXTURE_UPLOAD, level, 0, reinterpret_cast<uintptr_t>(t));
        }
    }
    t->dirtyLevels = 0;
}

// Lets go of a buffer no list holds any more (device thread).
void ReleaseNow(DeviceBufferRecord* b) {
    if (ActiveDeviceBackend() && b->made) ActiveDeviceBackend()->releaseBuffer(b);
    ForgetInDeviceState(b);
    FreeRecord(b);
}

// Lets go of a texture no list holds any more (device thread).
void ReleaseNow(DeviceTexture* t) {
    if (ActiveDeviceBackend() && t->made) ActiveDeviceBackend()->releaseTexture(t);
    ForgetInDeviceState(t);
    FreeRecord(t);
}

// A new object into the device's lists (objectsLock held): made on the
// back end at once on the device's thread, else left for that thread.
// False, with the record freed, when the back end refuses it.
template <typename T>
bool AddNewObjectLocked(T* object, DeviceObjects<T>& objects) {
    if (!OnContextThread()) {
        objects.waiting.push_back(object);
        UpdateObjectsWait();
    } else if (MakeOnBackend(object) != 0) {
        FreeRecord(object);
        return false;
    } else {
        object->made = true;
    }
    objects.live.push_back(object);
    return true;
}

// An object just written (objectsLock held): to the back end at once on the
// device's thread, else before that thread's next draw.
template <typename T>
void SendOrWaitLocked(T* object, DeviceObjects<T>& objects) {
    if (OnContextThread()) {
        SendLocked(object);
        return;
    }
    AddOnce(objects.waiting, object);
    UpdateObjectsWait();
}

// The waiting objects no thread is writing any more go to the back end
// (device thread, objectsLock held).
template <typename T>
void SendUnlockedLocked(DeviceObjects<T>& objects) {
    std::vector<T*> stillLocked;
    for (T* object : objects.waiting)
        if (IsLocked(object)) stillLocked.push_back(object);
        else SendLocked(object);
    objects.waiting.swap(stillLocked);
}

// Takes an object out of the device's lists. On another thread than the
// device's, its back-end object waits for that thread, or the object, which
// never got one, goes at once: false then; true when the caller releases
// it now.
template <typename T>
bool ForgetObject(T* object, DeviceObjects<T>& objects) {
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    Forget(objects.live, object);
    Forget(objects.waiting, object);
    if (OnDeviceThread()) return true;
    if (object->made) objects.doomed.push_back(object);
    else FreeRecord(object);
    UpdateObjectsWait();
    return false;
}

DeviceBufferRecord* NewBuffer(int length, int usage, bool isIndex) {
    if (!ActiveDeviceBackend() || length <= 0 || length > (1 << 28)) return nullptr;
    auto* b = static_cast<DeviceBufferRecord*>(ENGINE_ALLOC_ZERO(sizeof(DeviceVertexBuffer)));
    if (!b) return nullptr;
    b->bytes = static_cast<unsigned char*>(ENGINE_ALLOC_ZERO(size_t(length)));
    if (!b->bytes) {
        FreeMemory(b);
        return nullptr;
    }
    b->length = length;
    b->usage = usage;
    b->isIndex = isIndex;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    b->serial = DeviceObjectsState().nextBufferSerial++;
    return AddNewObjectLocked(b, DeviceObjectsState().buffers) ? b : nullptr;
}

int LockBuffer(DeviceBufferRecord* b, int offset, int size, void** data) {
    if (!b || !data) return -1;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    if (b->locked || offset < 0 || size < 0 || offset > b->length) return -1;
    if (size == 0) size = b->length - offset;
    if (size > b->length - offset) return -1;
    b->lockOffset = offset;
    b->lockSize = size;
    b->locked = true;
    ++b->version;
    *data = b->bytes + offset;
    return 0;
}

int UnlockBuffer(DeviceBufferRecord* b) {
    if (!b) return -1;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    if (!b->locked) return -1;
    b->locked = false;
    ++b->version;
    if (!ActiveDeviceBackend() || b->lockSize <= 0) return 0;
    const int from = b->lockOffset, to = b->lockOffset + b->lockSize;
    const bool clean = b->dirtyTo <= b->dirtyFrom;
    b->dirtyFrom = clean ? from : std::min(b->dirtyFrom, from);
    b->dirtyTo = clean ? to : std::max(b->dirtyTo, to);
    SendOrWaitLocked(b, DeviceObjectsState().buffers);
    return 0;
}

template <typename T>
int Release(T* object, DeviceObjects<T>& objects) {
    if (!object) return -1;
    if (ForgetObject(object, objects)) ReleaseNow(object);
    return 0;
}

int ReleaseBuffer(DeviceBufferRecord* b) { return Release(b, DeviceObjectsState().buffers); }

}  // namespace

// The device's thread, before it draws: what other threads made or filled
// goes to the back end; what they are still writing waits on.
void SendWaitingDeviceObjects() {
    if (!DeviceObjectsState().objectsWait.load()) return;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    SendUnlockedLocked(DeviceObjectsState().buffers);
    SendUnlockedLocked(DeviceObjectsState().textures);
    UpdateObjectsWait();
}

// The device's thread, between frames: the objects other threads let go.
void ReleaseDoomedDeviceObjects() {
    if (!DeviceObjectsState().objectsWait.load()) return;
    std::vector<DeviceBufferRecord*> buffers;
    std::vector<DeviceTexture*> textures;
    {
        std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
        buffers.swap(DeviceObjectsState().buffers.doomed);
        textures.swap(DeviceObjectsState().textures.doomed);
        UpdateObjectsWait();
    }
    for (DeviceBufferRecord* b : buffers) ReleaseNow(b);
    for (DeviceTexture* t : textures) ReleaseNow(t);
}

// With the device: what is left, also what other threads made and never let
// go (a log line counts them).
void ReleaseAllDeviceObjects() {
    ReleaseDoomedDeviceObjects();
    std::vector<DeviceBufferRecord*> buffers;
    std::vector<DeviceTexture*> textures;
    {
        std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
        buffers.swap(DeviceObjectsState().buffers.live);
        textures.swap(DeviceObjectsState().textures.live);
        DeviceObjectsState().buffers.waiting.clear();
        DeviceObjectsState().textures.waiting.clear();
        UpdateObjectsWait();
    }
    if (!buffers.empty() || !textures.empty())
        WriteLogFormat("%d buffers and %d textures were still alive when the device was released", int(buffers.size()),
                       int(textures.size()));
    for (auto b = buffers.rbegin(); b != buffers.rend(); ++b) ReleaseNow(*b);
    for (auto t = textures.rbegin(); t != textures.rend(); ++t) ReleaseNow(*t);
}

DeviceVertexBuffer* CreateDeviceVertexBuffer(int length, int usage, uint32_t fvf, int) {
    DeviceBufferRecord* b = NewBuffer(length, usage, false);
    if (b) b->fvf = fvf;
    return static_cast<DeviceVertexBuffer*>(b);
}

DeviceIndexBuffer* CreateDeviceIndexBuffer(int length, int usage, int format, int) {
    if (DeviceIndexSize(format) == 0) return nullptr;
    DeviceBufferRecord* b = NewBuffer(length, usage, true);
    if (b) b->format = format;
    return static_cast<DeviceIndexBuffer*>(b);
}

int LockDeviceVertexBuffer(DeviceVertexBuffer* b, int offset, int size, void** data, int) {
    return LockBuffer(b, offset, size, data);
}
int UnlockDeviceVertexBuffer(DeviceVertexBuffer* b) { return UnlockBuffer(b); }
int ReleaseDeviceVertexBuffer(DeviceVertexBuffer* b) { return ReleaseBuffer(b); }
int LockDeviceIndexBuffer(DeviceIndexBuffer* b, int offset, int size, void** data, int) {
    return LockBuffer(b, offset, size, data);
}
int UnlockDeviceIndexBuffer(DeviceIndexBuffer* b) { return UnlockBuffer(b); }
int ReleaseDeviceIndexBuffer(DeviceIndexBuffer* b) { return ReleaseBuffer(b); }
int GetDeviceVertexBufferLength(const DeviceVertexBuffer* b) { return b ? b->length : -1; }


DeviceTexture* CreateDeviceTexture(int width, int height, int levels, int usage, int format, int) {
    int bpp = BytesPerDevicePixel(format);
    if (!ActiveDeviceBackend() || bpp == 0 || width <= 0 || height <= 0 || width > kMaxDeviceTextureSide || height > kMaxDeviceTextureSide) return nullptr;
    auto* t = static_cast<DeviceTexture*>(ENGINE_ALLOC_ZERO(sizeof(DeviceTexture)));
    if (!t) return nullptr;
    t->width = width;
    t->height = height;
    t->usage = usage;
    t->format = format;
    t->levels = (usage & DEVICE_USAGE_RENDERTARGET) ? 1 : CountDeviceMipLevels(width, height, levels);
    int w = width, h = height;
    for (int l = 0; l < t->levels; ++l) {
        DeviceTextureLevel& lv = t->level[l];
        lv.width = w;
        lv.height = h;
        lv.pitch = w * bpp;
        lv.bytes = static_cast<unsigned char*>(ENGINE_ALLOC_ZERO(size_t(lv.pitch) * size_t(h)));
        if (!lv.bytes) {
            for (int k = 0; k < l; ++k) FreeMemory(t->level[k].bytes);
            FreeMemory(t);
            return nullptr;
        }
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    return AddNewObjectLocked(t, DeviceObjectsState().textures) ? t : nullptr;
}

int LockDeviceTexture(DeviceTexture* t, int level, void** bits, int* pitch) {
    if (!t || !bits || level < 0 || level >= t->levels) return -1;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    if (t->lockedMask & (1 << level)) return -1;
    t->lockedMask |= 1 << level;
    *bits = t->level[level].bytes;
    if (pitch) *pitch = t->level[level].pitch;
    return 0;
}

int UnlockDeviceTexture(DeviceTexture* t, int level) {
    if (!t || level < 0 || level >= t->levels) return -1;
    std::lock_guard<std::mutex> guard(DeviceObjectsState().objectsLock);
    if (!(t->lockedMask & (1 << level))) return -1;
    t->lockedMask &= ~(1 << level);
    if (!ActiveDeviceBackend()) return 0;
    t->dirtyLevels |= 1u << level;
    SendOrWaitLocked(t, DeviceObjectsState().textures);
    return 0;
}

int ReleaseDeviceTexture(DeviceTexture* t) { return Release(t, DeviceObjectsState().textures); }

int GetDeviceTextureDesc(const DeviceTexture* t, int level, DeviceTextureDesc* out) {
    if (!t || !out || level < 0 || level >= t->levels) return -1;
    *out = {t->level[level].width, t->level[level].height, t->levels, t->format, t->usage};
    return 0;
}

}  // namespace morpotta
