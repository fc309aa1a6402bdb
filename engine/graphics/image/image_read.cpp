// The road of a picture into a base image: open the file or memory as a
// stream and offer it to the registered readers, then to the built-in ones,
// rewinding before each. Any thread reads pictures, each on its own and
// with no engine lock held for it: the registered readers are the user's
// own code, and what they call is judged as the calling thread's own call.
#include "graphics/image/image_internal.h"

#include "engine/files.h"
#include "engine/log.h"
#include "foundation/engine_thread.h"
#include "foundation/log_internal.h"
#include "graphics/graphics_internal.h"
#include "platform/lasting_state.h"

#include <atomic>

using namespace morpotta;

namespace {

struct ImageReaderModule {
    ImageLoaderTable loaderTable;
};

ImageReaderModule& ImageReaderState() {
    return platform::LastingState<ImageReaderModule>();
}

const ImageReader kBuiltInReaders[] = {ReadBmpImage,     ReadJpegImage, ReadPngImage,
                                       ReadRawBgraImage, ReadTgaImage,  ReadDdsImage};

void MirrorLeftRight(BASEIMAGE* image) {
    if (image->format.compression != PIXEL_COMPRESSION_NONE) return;
    int bpp = image->format.bytesPerPixel;
    unsigned char tmp[4];
    for (int y = 0; y < image->height; ++y) {
        uint8_t* row = ImageRow(image, y);
        for (int l = 0, r = image->width - 1; l < r; ++l, --r) {
            std::memcpy(tmp, row + l * bpp, size_t(bpp));
            std::memcpy(row + l * bpp, row + r * bpp, size_t(bpp));
            std::memcpy(row + r * bpp, tmp, size_t(bpp));
        }
    }
}

// Set while the readers are tried in turn on one stream.
thread_local bool tryingReadersInTurn = false;

int TryReader(ImageReader reader, StreamData* stream, BASEIMAGE* out) {
    if (stream->functions.seek(stream->handle, 0, 0) != 0) return -1;
    std::memset(out, 0, sizeof *out);
    if (reader(stream, out) == 0) return 0;
    // A refusing reader leaves nothing behind.
    if (out->pixels) FreeBaseImagePixels(out);
    std::memset(out, 0, sizeof *out);
    return -1;
}

// The registered readers as they stand, each slot read whole: the engine's
// thread may change them through the table meanwhile.
int RegisteredReaders(ImageReader (&out)[kImageLoaderTableSize]) {
    int count = 0;
    for (const std::atomic<ImageReader>& slot : ImageReaderState().loaderTable.readers) {
        const ImageReader reader = slot.load(std::memory_order_acquire);
        if (!reader) break;
        out[count++] = reader;
    }
    return count;
}

int ReadWithEveryReader(StreamData* stream, BASEIMAGE* out) {
    ImageReader registered[kImageLoaderTableSize];
    const int count = RegisteredReaders(registered);
    for (int i = 0; i < count; ++i) {
        const ImageReader reader = registered[i];
        UserCodeScope users;
        if (TryReader(reader, stream, out) == 0) return 0;
    }
    // What a built-in reader says of data another one reads is no refusal;
    // the program's own readers' calls are theirs, said as they go. When
    // none reads it, the reason of one that knew the data is the call's.
    InnerAttempt builtIn;
    for (ImageReader reader : kBuiltInReaders)
        if (TryReader(reader, stream, out) == 0) return 0;
    return builtIn.RefuseCall();
}

int ReadFromStream(StreamData* stream, BASEIMAGE* out) {
    const bool outer = tryingReadersInTurn;
    tryingReadersInTurn = true;
    const int result = ReadWithEveryReader(stream, out);
    tryingReadersInTurn = outer;
    return result;
}

}  // namespace

namespace morpotta {

int CheckReaderArguments(StreamData* s, BASEIMAGE* image) {
    if (!s) return RefuseNull("stream");
    if (!image) return RefuseNull("image");
    if (!s->functions.read) return RefuseNull("stream function read");
    if (!s->functions.seek) return RefuseNull("stream function seek");
    if (!s->functions.tell) return RefuseNull("stream function tell");
    return 0;
}

int DeclineImage(const char* format) {
    return tryingReadersInTurn ? -1 : Refuse("the data is no %s picture", format);
}

}  // namespace morpotta

ImageLoaderTable* GetImageLoaderTable() {
    const PublicCall call("GetImageLoaderTable");
    if (!AllowOnlyOnEngineThread()) return nullptr;
    return &ImageReaderState().loaderTable;
}

// The first free slot is taken in one step, so two threads adding readers
// never take the same one.
int AddImageReader(ImageReader reader) {
    const PublicCall call("AddImageReader");
    if (!reader) return RefuseNull("reader");
    for (std::atomic<ImageReader>& slot : ImageReaderState().loaderTable.readers) {
        ImageReader free = nullptr;
        if (slot.compare_exchange_strong(free, reader, std::memory_order_acq_rel)) return 0;
    }
    return Refuse("the image reader table is full (%d readers)", kImageLoaderTableSize);
}

int ReadImageToBaseImage(const char* fileName, const void* data, size_t size, int fromMemory, BASEIMAGE* out,
                         int option) {
    const PublicCall call("ReadImageToBaseImage");
    if (!out) return RefuseNull("image");
    std::memset(out, 0, sizeof *out);
    int result = -1;
    if (fromMemory) {
        if (!data || size == 0) return Refuse("no image data (%s, %zu bytes)", data ? "given" : "null", size);
        MemStream* mem = OpenMemStream(data, size);
        if (!mem) return Refuse("out of memory for a stream over the image's %zu bytes", size);
        StreamData stream = MakeMemStreamData(mem);
        result = ReadFromStream(&stream, out);
        CloseMemStream(mem);
        // Said unless a reader that knew the data said why.
        if (result != 0) Refuse("the image in memory is no picture that can be read");
    } else {
        if (!fileName) return RefuseNull("file name");
        result = ReadPictureFile(fileName, out);
        if (result != 0) Refuse("%s is no picture that can be read", fileName);
    }
    if (result == 0 && option == 1) MirrorLeftRight(out);
    return result;
}

namespace morpotta {

int ReadPictureFile(const char* fileName, BASEIMAGE* out) {
    std::memset(out, 0, sizeof *out);
    FileHandle file = OpenFileStream(fileName, 0, 1, 0);
    if (!file) return -1;
    StreamData stream = MakeFileStreamData(file);
    const int result = ReadFromStream(&stream, out);
    CloseFileStream(file);
    return result;
}

int ReadImageFromMemoryWithBmp32Alpha(const void* data, size_t size, int bmp32Alpha, BASEIMAGE* out) {
    Bmp32AlphaScope scope(bmp32Alpha);
    return ReadImageToBaseImage(nullptr, data, size, 1, out, 0);
}

}  // namespace morpotta
