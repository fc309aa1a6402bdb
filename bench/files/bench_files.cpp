// File throughput: an archive member against the same plain file, and the
// block codec's decoder against zlib inflate on the same data.
#include "engine/archive.h"
#include "engine/files.h"
#include "engine/log.h"
#include "foundation/subsystems.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace morpotta;

namespace fs = std::filesystem;

namespace {

// Model-like text: vertex lines with small numbers, compressible but not
// trivially so.
std::string ModelText(size_t size) {
    std::string s;
    uint32_t x = 12345;
    char line[96];
    while (s.size() < size) {
        x = x * 1664525u + 1013904223u;
        int a = int(x >> 20) % 400, b = int(x >> 8) % 400, c = int(x % 400);
        std::snprintf(line, sizeof line, "\t\t%d.%03d %d.%03d %d.%03d\r\n", a / 10, a * 7 % 1000, b / 10,
                      b * 3 % 1000, c / 10, c * 11 % 1000);
        s += line;
    }
    s.resize(size);
    return s;
}

std::string NoiseBytes(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 99;
    for (char& c : s) {
        x = x * 1664525u + 1013904223u;
        c = char(x >> 24);
    }
    return s;
}

constexpr size_t kFileSize = 4 << 20;

// A folder with the same files plain and in an archive, made once.
struct FileSet {
    fs::path root;
    FileSet() {
        SetLogOutput(0);
        std::string pattern = (fs::temp_directory_path() / "bench-files-XXXXXX").string();
        root = mkdtemp(pattern.data());
        fs::create_directories(root / "plain");
        std::vector<ArchiveInput> members = {{"text.txt", ModelText(kFileSize)}, {"noise.bin", NoiseBytes(kFileSize)}};
        for (const auto& m : members) std::ofstream(root / "plain" / m.name, std::ios::binary) << m.data;
        std::string image;
        BuildArchiveImage(members, "bench", &image);
        std::ofstream(root / "packed.dat", std::ios::binary) << image;
        fs::current_path(root);
        SetArchiveKey("bench");
        SetUseArchive(1);
    }
    ~FileSet() {
        subsystems::CloseArchives();
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(root, ec);
    }
};

FileSet& Files() {
    static FileSet set;
    return set;
}

void ReadWhole(benchmark::State& state, const char* path) {
    Files();
    std::vector<char> buffer(kFileSize);
    for (auto _ : state) {
        FileHandle f = OpenFileToRead(path, 0);
        size_t n = ReadFromFile(buffer.data(), buffer.size(), f);
        CloseFileStream(f);
        if (n != kFileSize) state.SkipWithError("short read");
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kFileSize));
}

void BM_PlainFileRead_Text(benchmark::State& s) { ReadWhole(s, "plain\\text.txt"); }
void BM_ArchiveMemberRead_Text(benchmark::State& s) { ReadWhole(s, "packed\\text.txt"); }
void BM_PlainFileRead_Noise(benchmark::State& s) { ReadWhole(s, "plain\\noise.bin"); }
void BM_ArchiveMemberRead_Noise(benchmark::State& s) { ReadWhole(s, "packed\\noise.bin"); }
BENCHMARK(BM_PlainFileRead_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveMemberRead_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainFileRead_Noise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ArchiveMemberRead_Noise)->Unit(benchmark::kMillisecond);

const std::string& CodecInput() {
    static const std::string text = ModelText(kFileSize);
    return text;
}

void BM_DecompressBlock(benchmark::State& state) {
    const std::string& input = CodecInput();
    std::vector<unsigned char> block(CompressBlockBound(input.size()));
    int64_t n = CompressBlock(input.data(), input.size(), block.data(), block.size());
    block.resize(size_t(n));
    std::vector<unsigned char> out(input.size());
    for (auto _ : state) {
        int64_t got = DecompressBlock(block.data(), block.size(), out.data(), out.size());
        if (got != int64_t(input.size())) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(block.size()) / double(input.size());
}
BENCHMARK(BM_DecompressBlock)->Unit(benchmark::kMillisecond);

void BM_ZlibInflate(benchmark::State& state) {
    const std::string& input = CodecInput();
    uLongf packedSize = compressBound(uLong(input.size()));
    std::vector<unsigned char> packed(packedSize);
    compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(input.data()), uLong(input.size()), 6);
    std::vector<unsigned char> out(input.size());
    for (auto _ : state) {
        uLongf outSize = uLongf(out.size());
        if (uncompress(out.data(), &outSize, packed.data(), packedSize) != Z_OK) state.SkipWithError("inflate");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
    state.counters["ratio"] = double(packedSize) / double(input.size());
}
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

void BM_CompressBlock(benchmark::State& state) {
    const std::string& input = CodecInput();
    std::vector<unsigned char> block(CompressBlockBound(input.size()));
    for (auto _ : state) {
        int64_t n = CompressBlock(input.data(), input.size(), block.data(), block.size());
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
}
BENCHMARK(BM_CompressBlock)->Unit(benchmark::kMillisecond);

}  // namespace
