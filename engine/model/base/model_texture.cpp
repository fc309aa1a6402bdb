// Loading model textures.
#include "model/base/model_texture.h"

#include <cstring>
#include <string>

#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/log_internal.h"
#include "model/base/graphics_services.h"
#include "model/base/model_handles.h"
#include "model/base/whole_file.h"

namespace morpotta {

namespace {

// The file's path relative to the folder when it lies inside it.
std::u16string RelativeTo(const char16_t* path, const char16_t* folder) {
    std::u16string p(path), f(folder);
    while (!f.empty() && (f.back() == u'\\' || f.back() == u'/')) f.pop_back();
    if (!f.empty() && p.size() > f.size() && p.compare(0, f.size(), f) == 0 &&
        (p[f.size()] == u'\\' || p[f.size()] == u'/'))
        return p.substr(f.size() + 1);
    return p;
}

char* CopyName(const char16_t* path, const char16_t* folder) {
    std::string name;
    if (!ConvertUtf16ToCp932(RelativeTo(path, folder), &name)) name.clear();
    auto* copy = static_cast<char*>(AllocModelMemory(name.size() + 1));
    if (copy) std::memcpy(copy, name.c_str(), name.size() + 1);
    return copy;
}

// The file's bytes in a block of our own, or null (with *size 0). Each
// place tried is a probe: the caller says in one line when none held it.
void* ReadTextureFile(const char16_t* path, const ModelTextureFileHook* hook, int* size, bool* copyFailed) {
    InnerAttempt probe;
    *size = 0;
    *copyFailed = false;
    if (hook && hook->read) {
        std::string name;
        void* data = nullptr;
        int bytes = 0;
        if (!ConvertUtf16ToCp932(path, &name) || hook->read(name.c_str(), &data, &bytes, hook->user) == -1 ||
            bytes < 0)
            return nullptr;
        void* copy = AllocModelMemory(size_t(bytes) + 1);
        if (copy && bytes > 0) std::memcpy(copy, data, size_t(bytes));
        if (hook->release) hook->release(data, hook->user);
        if (!copy) {
            *copyFailed = true;
            return nullptr;
        }
        *size = bytes;
        return copy;
    }
    void* data = nullptr;
    size_t bytes = 0;
    if (LoadWholeFileW(path, &data, &bytes) != 0) return nullptr;
    if (bytes > size_t(0x7FFFFFFF)) {
        FreeMemory(data);
        return nullptr;
    }
    *size = int(bytes);
    return data;
}

// What ReadTextureFile tried for path, for its failure's line.
std::string PlacesTried(const char16_t* path, const ModelTextureFileHook* hook) {
    std::string path932;
    if (hook && hook->read) return ConvertUtf16ToCp932(path, &path932) ? path932 : std::string();
    return DescribeWholeFileCandidatesW(path);
}

void* CopyOfWhite(int* size) {
    size_t bytes = 0;
    const uint8_t* white = GetModelWhiteTga(&bytes);
    void* copy = AllocModelMemory(bytes);
    if (!copy) return nullptr;
    std::memcpy(copy, white, bytes);
    *size = int(bytes);
    return copy;
}

// "wood.png" -> "wood_a.png"; "wood" -> "wood_a".
std::u16string CompanionOf(const char16_t* colourPath) {
    std::u16string path(colourPath);
    for (size_t i = path.size(); i-- > 0;) {
        if (path[i] == u'\\' || path[i] == u':' || path[i] == u'/') break;
        if (path[i] == u'.') return path.substr(0, i) + u"_a" + path.substr(i);
    }
    return path + u"_a";
}

int SemiTransparencyOf(const ModelGraphicsServices* gfx, const BASEIMAGE* colour, bool alphaData) {
    if (alphaData) return 1;
    if (colour->format.alphaWidth == 0 && colour->format.compression == 0) return 0;
    switch (colour->format.compression) {
    case 0: return gfx->GetBaseImageAlphaKind && gfx->GetBaseImageAlphaKind(colour) > 1 ? 1 : 0;
    case 1: return 0;
    default: return 1;
    }
}

int AbandonTextureImage(ModelTextureImage* image, const ModelTextureImage& before, int rebuild, const char* message) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    if (image->graph != -1 && gfx->DeleteGraphHandle) gfx->DeleteGraphHandle(image->graph, 0);
    image->graph = -1;
    if (!rebuild) {
        // Free only what this call made.
        if (image->colourData != before.colourData) FreeMemory(image->colourData);
        if (image->alphaData != before.alphaData) FreeMemory(image->alphaData);
        if (image->colourFileName != before.colourFileName) FreeMemory(image->colourFileName);
        if (image->alphaFileName != before.alphaFileName) FreeMemory(image->alphaFileName);
        std::memset(image, 0, sizeof(*image));
        image->graph = -1;
    }
    return WriteLogText(message);
}

}  // namespace

int LoadModelTexture(ModelTextureImage* image, const ModelTextureRequest* request, int rebuild) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    ModelTextureImage before = *image;
    if (!rebuild) {
        std::memset(image, 0, sizeof(*image));
        image->graph = -1;
        before = *image;
        if (request->keepNames && request->folder) {
            if (request->colourPath && !(image->colourFileName = CopyName(request->colourPath, request->folder)))
                return AbandonTextureImage(image, before, rebuild,
                            "Load Texture Error : テクスチャ用のカラー画像ファイルパスを保存するメモリ領域の確保に失敗しました");
            if (request->alphaPath && !(image->alphaFileName = CopyName(request->alphaPath, request->folder)))
                return AbandonTextureImage(image, before, rebuild,
                            "Load Texture Error : テクスチャ用のカラー画像ファイルパスを保存するメモリ領域の確保に失敗しました");
        }
        bool copyFailed = false;
        if (request->colourPath) {
            image->colourData = ReadTextureFile(request->colourPath, request->hook, &image->colourDataSize, &copyFailed);
            if (!image->colourData) {
                LogNoteScope drawnWhite;
                if (copyFailed)
                    WriteLogFormatW(u"Load Texture Error : カラーチャンネル画像ファイル %s を保存するメモリの確保に失敗しました",
                                    request->colourPath);
                else
                    WriteLogFormatW(u"Load Texture Error : カラーチャンネル画像ファイル %s の読み込みに失敗しました (tried: %hs)",
                                    request->colourPath, PlacesTried(request->colourPath, request->hook).c_str());
                if (!(image->colourData = CopyOfWhite(&image->colourDataSize)))
                    return AbandonTextureImage(image, before, rebuild,
                                "Load Texture Error : エラー回避用テクスチャを格納する領域の確保に失敗しました");
            }
        }
        if (request->alphaPath) {
            image->alphaData = ReadTextureFile(request->alphaPath, request->hook, &image->alphaDataSize, &copyFailed);
            if (!image->alphaData) {
                LogNoteScope drawnWhite;
                WriteLogFormatW(u"Load Texture Error : アルファチャンネル用テクスチャファイル %s の読み込みに失敗しました (tried: %hs)",
                                request->alphaPath, PlacesTried(request->alphaPath, request->hook).c_str());
                if (!(image->alphaData = CopyOfWhite(&image->alphaDataSize)))
                    return AbandonTextureImage(image, before, rebuild,
                                "Load Texture Error : エラー回避用テクスチャを格納する領域の確保に失敗しました");
            }
        } else if (request->colourPath) {
            // A missing companion simply means no alpha.
            std::u16string companion = CompanionOf(request->colourPath);
            image->alphaData = ReadTextureFile(companion.c_str(), request->hook, &image->alphaDataSize, &copyFailed);
        }
    }
    BASEIMAGE colour{}, alpha{};
    int built = BuildModelTextureImages(&colour, &alpha, image->colourData, size_t(image->colourDataSize),
                                        image->alphaData, size_t(image->alphaDataSize), request->bumpFlag,
                                        request->bumpHeight, request->reverse, request->bmp32Alpha);
    if (built != 0) return AbandonTextureImage(image, before, rebuild, "Load Texture Error : テクスチャ用の BASEIMAGE の作成に失敗しました");
    image->graph = gfx->MakeTextureGraph ? gfx->MakeTextureGraph(&colour, image->alphaData ? &alpha : nullptr) : -1;
    image->semiTransparent = SemiTransparencyOf(gfx, &colour, image->alphaData != nullptr);
    FreeModelTextureImages(gfx, &colour, &alpha);
    if (image->graph == -1) return AbandonTextureImage(image, before, rebuild, "Load Texture Error : テクスチャ用のグラフィックの作成に失敗しました");
    return 0;
}

void ReleaseModelTextureImage(ModelTextureImage* image) {
    const ModelGraphicsServices* gfx = GetModelGraphicsServices();
    if (image->graph != -1 && gfx->DeleteGraphHandle) gfx->DeleteGraphHandle(image->graph, 0);
    FreeMemory(image->colourData);
    FreeMemory(image->alphaData);
    FreeMemory(image->colourFileName);
    FreeMemory(image->alphaFileName);
    std::memset(image, 0, sizeof(*image));
    image->graph = -1;
}

void FreeModelTextureImages(const ModelGraphicsServices* gfx, BASEIMAGE* colour, BASEIMAGE* alpha) {
    if (gfx->FreeBaseImagePixels) {
        if (colour->pixels) gfx->FreeBaseImagePixels(colour);
        if (alpha->pixels) gfx->FreeBaseImagePixels(alpha);
    }
}

}  // namespace morpotta
