// The movie graph: a file that the Theora decoder does not take is rendered
// by the media graph into the movie renderer, which learns the frame size
// from the connection. The graph is built and never run. A file the graph
// cannot open by name (a member of a resource archive) is copied through
// the engine's file functions into a temporary file, and that is rendered.
#include "engine/log.h"
#include "engine/memory.h"
#include "engine/text.h"
#include "foundation/host_path.h"
#include "foundation/object_creation.h"
#include "foundation/public_call.h"
#include "movie/movie_record.h"
#include "movie/movie_renderer.h"
#include "platform/codepage.h"

#include <cstdio>
#include <string>

namespace morpotta {

namespace {

constexpr size_t kCopyPiece = 1048576;
constexpr size_t kTempPathBytes = 1024;

template <typename I>
bool QueryGraph(MovieRecord* r, const mg::Guid& iid, I** out) {
    return mg::Succeeded(r->graphBuilder->QueryInterface(iid, reinterpret_cast<void**>(out))) && *out;
}

// Keeps name in the record's file name (the terminator included); false
// when it does not fit.
bool KeepFileName(MovieRecord* r, const std::u16string& name) {
    if (name.size() + 1 > size_t(kMovieFileNameUnits)) return false;
    name.copy(r->fileName, name.size());
    r->fileName[name.size()] = 0;
    return true;
}

// The name the graph opens the file by: its host path when the file is
// there, else the name as given.
std::u16string GraphNameOf(const char* fileName) {
    std::string host;
    std::u16string name;
    if (ResolveHostPathText(fileName, &host) == 0 && platform::Utf8ToUtf16(host, name)) return name;
    ConvertCp932ToUtf16(fileName, &name);
    return name;
}

mg::Result RenderRecordFile(MovieRecord* r) { return r->graphBuilder->RenderFile(r->fileName, nullptr); }

}  // namespace

bool CopyMovieToTemporaryFile(MovieRecord* r, const FileAccessTable* files, const char* fileName) {
    FileHandle file = files->open(fileName, 0, 1, 0);
    if (!file) return false;
    files->seek(file, 0, 2);
    const int64_t size = files->tell(file);
    files->seek(file, 0, 0);
    auto* buffer = static_cast<uint8_t*>(AllocMemory(kCopyPiece, "", 0));
    if (!buffer) {
        files->close(file);
        return false;
    }
    char path[kTempPathBytes];
    std::FILE* out = CreateTempFile(path, sizeof path);
    std::u16string name;
    if (out && (!platform::Utf8ToUtf16(path, name) || !KeepFileName(r, name))) {
        std::fclose(out);
        std::remove(path);
        out = nullptr;
    }
    if (!out) {
        files->close(file);
        FreeMemory(buffer);
        return false;
    }
    r->temporaryFile = 1;
    bool whole = size >= 0;
    for (int64_t copied = 0; whole && copied < size;) {
        const size_t n = size_t(size - copied < int64_t(kCopyPiece) ? size - copied : int64_t(kCopyPiece));
        // A short read would leave stale bytes of the last piece in the copy.
        whole = files->read(buffer, 1, n, file) == n && std::fwrite(buffer, 1, n, out) == n;
        copied += int64_t(n);
    }
    files->close(file);
    if (std::fclose(out) != 0) whole = false;
    FreeMemory(buffer);
    if (!whole) RemoveMovieTemporaryFile(r);
    return whole;
}

void RemoveMovieTemporaryFile(MovieRecord* r) {
    if (r->temporaryFile != 1) return;
    std::string path;
    if (platform::Utf16ToUtf8(r->fileName, path)) std::remove(path.c_str());
    r->temporaryFile = 0;
}

void ReleaseMovieGraph(MovieRecord* r) {
    if (r->basicAudio) r->basicAudio->Release();
    if (r->mediaSeeking) r->mediaSeeking->Release();
    if (r->mediaControl) r->mediaControl->Release();
    if (r->graphBuilder) r->graphBuilder->Release();  // the last reference: the graph destroys the renderer
    r->basicAudio = nullptr;
    r->mediaSeeking = nullptr;
    r->mediaControl = nullptr;
    r->graphBuilder = nullptr;
    r->renderer = nullptr;
}

int BuildMovieGraph(MovieRecord* r, const char* fileName, int* width, int* height) {
    r->frameImage.pixels = nullptr;
    std::string message;
    if (mg::Failed(CoCreateInstanceEntry(mg::kClassFilterGraph, nullptr,
                                         mg::kContextInprocServer | mg::kContextInprocHandler, mg::kIidGraphBuilder,
                                         reinterpret_cast<void**>(&r->graphBuilder))) ||
        !r->graphBuilder) {
        message = "CLSID_FilterGraph の作成に失敗しました";
    } else {
        mg::Result created = mg::kOk;
        r->renderer = D_CMovieRenderer::Create(nullptr, &created);
        if (!r->renderer || mg::Failed(r->graphBuilder->AddFilter(r->renderer, "MovieRenderer"))) {
            if (r->renderer) r->renderer->Release();
            r->renderer = nullptr;
            message = "Could not add renderer filter to graph!";
        } else {
            r->renderer->Release();  // the graph holds it now
            if (!QueryGraph(r, mg::kIidBasicAudio, &r->basicAudio))
                message = "BasicAudio インターフェースの取得に失敗しました";
            else if (!QueryGraph(r, mg::kIidMediaControl, &r->mediaControl))
                message = "IID_IMediaControlインターフェイスの取得に失敗しました";
            else if (!QueryGraph(r, mg::kIidMediaSeeking, &r->mediaSeeking))
                message = "IID_IMediaSeekingインターフェイスの取得に失敗しました";
        }
    }
    // A file the graph reads no movie from is declined without a word: the
    // caller says what the file is not, and the file layer has said why a
    // file that could not be copied was not there.
    bool declined = false;
    if (message.empty()) {
        const bool named = KeepFileName(r, GraphNameOf(fileName));
        if (!named || mg::Failed(RenderRecordFile(r))) {
            declined = true;
            if (r->temporaryFile != 1 && CopyMovieToTemporaryFile(r, GetFileAccessTable(), fileName)) {
                if (mg::Succeeded(RenderRecordFile(r)))
                    declined = false;
                else
                    RemoveMovieTemporaryFile(r);
            }
        }
    }
    if (declined || !message.empty()) {
        ReleaseMovieGraph(r);
        return declined ? -1 : Refuse("%s", message.c_str());
    }
    if (width) *width = r->renderer->Width();
    if (height) *height = r->renderer->Height();
    return 0;
}

}  // namespace morpotta
