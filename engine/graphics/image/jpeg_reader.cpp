// JPEG reader through libjpeg: a source manager over the stream, errors
// returned by long jump, pictures decoded to 24-bit BGR. Four-channel
// pictures (CMYK, and YCCK which libjpeg turns into CMYK) are converted here:
// print tools write them with an Adobe marker and inverted inks, others
// with plain inks.
#include "graphics/image/image_internal.h"

#include "engine/log.h"
#include "foundation/public_call.h"

#include <csetjmp>
#include <cstdio>
#include <utility>

#include <jpeglib.h>

using namespace morpotta;

namespace {

constexpr size_t kSourceBufferBytes = 65536;

struct StreamSource {
    jpeg_source_mgr manager;
    StreamData* stream;
    bool truncated;
    JOCTET buffer[kSourceBufferBytes];
};

struct ErrorExit {
    jpeg_error_mgr manager;
    jmp_buf jump;
    unsigned char* inkRow;  // CMYK scanline, freed by the caller whatever happens
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    size_t got = src->stream->functions.read(src->buffer, 1, kSourceBufferBytes, src->stream->handle);
    if (got == 0) {
        // A truncated picture ends as if its end marker had come.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        got = 2;
        src->truncated = true;
    }
    src->manager.next_input_byte = src->buffer;
    src->manager.bytes_in_buffer = got;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    while (count > 0) {
        if (size_t(count) <= src->manager.bytes_in_buffer) {
            src->manager.next_input_byte += count;
            src->manager.bytes_in_buffer -= size_t(count);
            return;
        }
        count -= long(src->manager.bytes_in_buffer);
        FillInputBuffer(cinfo);
    }
}

void TermSource(j_decompress_ptr) {}

void OnErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorExit*>(cinfo->err)->jump, 1); }
void OnMessage(j_common_ptr) {}

// One channel of light from an ink and the black ink, both as stored.
uint8_t InkToLight(unsigned ink, unsigned black, bool inverted) {
    if (!inverted) ink = 255 - ink, black = 255 - black;
    return uint8_t((ink * black + 127) / 255);
}

void CmykRowToBgr(const unsigned char* cmyk, JDIMENSION width, bool inverted, unsigned char* bgr) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        bgr[0] = InkToLight(cmyk[2], cmyk[3], inverted);
        bgr[1] = InkToLight(cmyk[1], cmyk[3], inverted);
        bgr[2] = InkToLight(cmyk[0], cmyk[3], inverted);
    }
}

// Huffman-coded data spends at least one bit on every block of every
// component (its DC difference), so data shorter than a bit per block cannot
// hold the picture its header claims: such a file is refused before the
// picture, or libjpeg's whole-picture coefficient store for a progressive
// file, is allocated. Arithmetic-coded data has no such floor.
bool DataCanHoldBlocks(jpeg_decompress_struct* cinfo) {
    if (cinfo->arith_code) return true;
    auto* source = reinterpret_cast<StreamSource*>(cinfo->src);
    int64_t unread = RemainingImageBytes(source->stream);
    if (unread < 0) return true;
    uint64_t bits = (uint64_t(unread) + source->manager.bytes_in_buffer) * 8;
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i)
        blocks += uint64_t(cinfo->comp_info[i].width_in_blocks) * cinfo->comp_info[i].height_in_blocks;
    return bits >= blocks;
}

int DecodeJpeg(jpeg_decompress_struct* cinfo, ErrorExit* error, BASEIMAGE* image) {
    if (setjmp(error->jump)) {
        FreeBaseImagePixels(image);
        return -1;
    }
    jpeg_read_header(cinfo, TRUE);
    if (!ImageSizeAcceptable(cinfo->image_width, cinfo->image_height) || !DataCanHoldBlocks(cinfo)) return -1;
    bool inks = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
#ifdef JCS_EXTENSIONS
    cinfo->out_color_space = inks ? JCS_CMYK : JCS_EXT_BGR;
#else
    cinfo->out_color_space = inks ? JCS_CMYK : JCS_RGB;
#endif
    jpeg_start_decompress(cinfo);
    if (cinfo->output_components != (inks ? 4 : 3)) return -1;
    PixelFormatDesc format;
    SetPixelFormatRgb24(&format);
    if (CreateBaseImageWithFormat(int(cinfo->output_width), int(cinfo->output_height), &format, image) != 0) return -1;
    if (inks) {
        error->inkRow = static_cast<unsigned char*>(ENGINE_ALLOC(size_t(cinfo->output_width) * 4));
        if (!error->inkRow) {
            FreeBaseImagePixels(image);
            return -1;
        }
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = ImageRow(image, int(cinfo->output_scanline));
        if (inks) {
            JSAMPROW ink = error->inkRow;
            jpeg_read_scanlines(cinfo, &ink, 1);
            CmykRowToBgr(ink, cinfo->output_width, cinfo->saw_Adobe_marker, row);
            continue;
        }
        jpeg_read_scanlines(cinfo, &row, 1);
#ifndef JCS_EXTENSIONS
        for (JDIMENSION x = 0; x < cinfo->output_width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);
#endif
    }
    jpeg_finish_decompress(cinfo);
    return 0;
}

// The stream from its start, through the library, which leaves by
// longjmp on an error: apart from any object with a destructor.
int DecodeJpegStream(StreamData* s, BASEIMAGE* image) {
    auto* source = static_cast<StreamSource*>(ENGINE_ALLOC_ZERO(sizeof(StreamSource)));
    auto* error = static_cast<ErrorExit*>(ENGINE_ALLOC_ZERO(sizeof(ErrorExit)));
    auto* cinfo = static_cast<jpeg_decompress_struct*>(ENGINE_ALLOC_ZERO(sizeof(jpeg_decompress_struct)));
    int result = -1;
    if (source && error && cinfo) {
        cinfo->err = jpeg_std_error(&error->manager);
        error->manager.error_exit = OnErrorExit;
        error->manager.output_message = OnMessage;
        if (setjmp(error->jump) == 0) {
            jpeg_create_decompress(cinfo);
            source->stream = s;
            source->manager.init_source = InitSource;
            source->manager.fill_input_buffer = FillInputBuffer;
            source->manager.skip_input_data = SkipInputData;
            source->manager.resync_to_restart = jpeg_resync_to_restart;
            source->manager.term_source = TermSource;
            cinfo->src = &source->manager;
            result = DecodeJpeg(cinfo, error, image);
            if (result == 0 && source->truncated) {
                FreeBaseImagePixels(image);
                result = -1;
            }
        }
        jpeg_destroy_decompress(cinfo);
    }
    if (error) FreeMemory(error->inkRow);
    FreeMemory(cinfo);
    FreeMemory(error);
    FreeMemory(source);
    if (result != 0) return Refuse("JPEG: damaged or truncated picture");
    return 0;
}

}  // namespace

int ReadJpegImage(StreamData* s, BASEIMAGE* image) {
    const PublicCall call("ReadJpegImage");
    if (CheckReaderArguments(s, image) != 0) return -1;
    unsigned char soi[3];
    if (!ReadImageBytes(s, soi, sizeof soi) || soi[0] != 0xFF || soi[1] != 0xD8 || soi[2] != 0xFF)
        return DeclineImage("JPEG");
    if (!SeekImageStream(s, 0)) return Refuse("JPEG: the stream cannot be rewound");
    return DecodeJpegStream(s, image);
}
