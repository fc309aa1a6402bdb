// The software blits side by side with pixman in one process, as a table:
// each job (a plain, scaled or rotated draw in one blend mode, full screen
// or as 32x32 sprites, 32-bit or 16-bit) runs through our kernels, through
// pixman's nearest composite and, for the plain copy, through memcpy of the
// rows. pixman's portable C path is measured by the same program run again
// as a child with pixman's SIMD switched off. Both sides draw between
// page-aligned buffers holding the same bytes, in pixman's a8r8g8b8 (or
// r5g6b5) formats.
//
// bench_softblit prints every benchmark line, then the table: time per job
// (the least of the repetitions) under each of our kernel forms, and the
// form start-up chooses, the one the game draws with, against each peer as
// a speed ratio (higher is better for us).
#include <benchmark/benchmark.h>
#include <pixman.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "graphics/softimage/drawstate.h"
#include "softblit/kernel_paths.h"
#include "softblit/softblit.h"

using namespace morpotta;

extern char** environ;

namespace {

constexpr int kScreenW = 640, kScreenH = 480;
constexpr int kSprite = 32;
constexpr float kTurnDegrees = 30.0f;
constexpr const char* kChildFlag = "--pixman-c-child";
// What pixman reads to leave its SIMD implementations out.
constexpr const char* kPixmanNoSimd = "PIXMAN_DISABLE=mmx sse2 ssse3 avx2";

// Page-aligned pixels shared by one of our images and one pixman image.
class PageBuffer {
public:
    explicit PageBuffer(size_t bytes) : bytes_((bytes + 4095) & ~size_t{4095}) {
        data_ = static_cast<uint8_t*>(std::aligned_alloc(4096, bytes_));
        std::memset(data_, 0, bytes_);
    }
    ~PageBuffer() { std::free(data_); }
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    uint8_t* data() const { return data_; }
    size_t size() const { return bytes_; }

private:
    uint8_t* data_;
    size_t bytes_;
};

// One of our images whose view draws into a page-aligned buffer (the base
// keeps its own pixels, released with it), and a pixman image on the same
// bytes when pixman has a format for it.
struct Surface {
    MEMIMG image{};
    std::unique_ptr<PageBuffer> pixels;
    pixman_image_t* pix = nullptr;

    Surface(int w, int h, int kind, bool alpha, uint32_t trans, std::mt19937* fill) {
        CreateMemImg(&image, w, h, kind, 0, alpha, trans);
        const size_t bytes = static_cast<size_t>(image.base->pitch) * h;
        pixels = std::make_unique<PageBuffer>(bytes);
        if (fill)
            for (size_t i = 0; i < bytes; ++i) pixels->data()[i] = static_cast<uint8_t>((*fill)());
        image.pixels = pixels->data();
        // A 16-bit image with alpha has 4-byte pixels pixman has no format
        // for: pixman reads those bytes as a8r8g8b8.
        const pixman_format_code_t format = kind == 1 || alpha ? PIXMAN_a8r8g8b8 : PIXMAN_r5g6b5;
        pix = pixman_image_create_bits(format, w, h, reinterpret_cast<uint32_t*>(image.pixels), image.base->pitch);
    }
    ~Surface() {
        pixman_image_unref(pix);
        ReleaseMemImg(&image);
    }
};

enum Geometry { PlainDraw, ScaledDouble, Rotated };

struct Job {
    std::string row;     // the table's row label
    Geometry geometry;
    int mode, param;     // our blend state
    bool alphaSource;    // per-pixel alpha source, keyed (alpha 0 skipped)
    pixman_op_t op;      // pixman's composite for the same job
    int maskAlpha;       // 0..255: pixman multiplies the source by a solid mask; -1 none
    bool withMemcpy;     // the plain copy also runs as memcpy of the rows
};

const Job kJobs[] = {
    {"plain copy", PlainDraw, BlendCopy, 255, false, PIXMAN_OP_SRC, -1, true},
    {"alpha source over", PlainDraw, BlendCopy, 255, true, PIXMAN_OP_OVER, -1, false},
    {"additive p=255", PlainDraw, BlendAdd, 255, false, PIXMAN_OP_ADD, -1, false},
    {"additive p=200", PlainDraw, BlendAdd, 200, false, PIXMAN_OP_ADD, 200, false},
    {"alpha blend p=100", PlainDraw, BlendAlpha, 100, false, PIXMAN_OP_OVER, 100, false},
    {"scaled x2 copy", ScaledDouble, BlendCopy, 255, false, PIXMAN_OP_SRC, -1, false},
    {"scaled x2 alpha", ScaledDouble, BlendCopy, 255, true, PIXMAN_OP_OVER, -1, false},
    {"rotated 30deg copy", Rotated, BlendCopy, 255, false, PIXMAN_OP_SRC, -1, false},
    {"rotated 30deg alpha", Rotated, BlendCopy, 255, true, PIXMAN_OP_OVER, -1, false},
};

// Where sprite n of a run lands: spread over the screen.
int SpriteX(int n) { return (n * 97) % (kScreenW - 2 * kSprite) + kSprite / 2; }
int SpriteY(int n) { return (n * 61) % (kScreenH - 2 * kSprite) + kSprite / 2; }

// The scene of one job: target, source and pixman's view of the job.
struct Scene {
    const Job& job;
    int kind;
    bool sprite;
    int srcW, srcH;  // source size
    int outW, outH;  // drawn size (the unclipped destination of one draw)
    Surface target, source;
    pixman_image_t* mask = nullptr;

    Scene(const Job& j, int kind_, bool sprite_, std::mt19937& rng)
        : job(j), kind(kind_), sprite(sprite_), srcW(SourceSide(j, sprite_, kScreenW)),
          srcH(SourceSide(j, sprite_, kScreenH)), outW(sprite_ ? kSprite : kScreenW), outH(sprite_ ? kSprite : kScreenH),
          target(kScreenW, kScreenH, kind_, false, 0, &rng),
          source(srcW, srcH, kind_, j.alphaSource, 0x00FF00FF, &rng) {
        if (j.maskAlpha >= 0) {
            const uint16_t a = static_cast<uint16_t>(j.maskAlpha * 257);
            const pixman_color_t c = {a, a, a, a};
            mask = pixman_image_create_solid_fill(&c);
        }
        const double scale = j.geometry == ScaledDouble ? 0.5 : 1.0;
        if (j.geometry == ScaledDouble) {
            pixman_transform_t t;
            pixman_transform_init_scale(&t, pixman_double_to_fixed(scale), pixman_double_to_fixed(scale));
            pixman_image_set_transform(source.pix, &t);
            pixman_image_set_filter(source.pix, PIXMAN_FILTER_NEAREST, nullptr, 0);
        }
        BuildBlendTables();
        SetSoftwareDrawTarget(&target.image);
        ResetSoftwareDrawState();
    }
    ~Scene() {
        if (mask) pixman_image_unref(mask);
        SetSoftwareDrawTarget(nullptr);
    }
    static int SourceSide(const Job& j, bool sprite, int screenSide) {
        const int side = sprite ? kSprite : screenSide;
        return j.geometry == ScaledDouble ? side / 2 : side;
    }
    // Centre of draw n.
    int CentreX(int n) const { return sprite ? SpriteX(n) : kScreenW / 2; }
    int CentreY(int n) const { return sprite ? SpriteY(n) : kScreenH / 2; }

    void Ours(int n) {
        const int x = CentreX(n) - outW / 2, y = CentreY(n) - outH / 2;
        const int trans = job.alphaSource ? 1 : 0;
        switch (job.geometry) {
        case PlainDraw: BlitMemImg(&target.image, &source.image, x, y, trans, nullptr); break;
        case ScaledDouble: {
            const int rect[4] = {x, y, x + outW, y + outH};
            StretchBlitMemImg(&target.image, &source.image, rect, trans, nullptr);
            break;
        }
        case Rotated:
            RotateBlitMemImg(&target.image, &source.image, CentreX(n), CentreY(n),
                             kTurnDegrees * 3.14159265f / 180.0f, 1.0f, trans, 0, nullptr);
            break;
        }
    }

    // The box the rotated blit walks, clipped to the screen.
    void RotatedBox(int n, int box[4]) const {
        const double a = kTurnDegrees * 3.14159265358979 / 180.0;
        const double ex = (srcW * std::fabs(std::cos(a)) + srcH * std::fabs(std::sin(a))) / 2;
        const double ey = (srcW * std::fabs(std::sin(a)) + srcH * std::fabs(std::cos(a))) / 2;
        box[0] = std::max(0, static_cast<int>(CentreX(n) - ex) - 2);
        box[1] = std::max(0, static_cast<int>(CentreY(n) - ey) - 2);
        box[2] = std::min(kScreenW, static_cast<int>(CentreX(n) + ex) + 4);
        box[3] = std::min(kScreenH, static_cast<int>(CentreY(n) + ey) + 4);
    }

    void SetRotation(int n) {
        const double a = kTurnDegrees * 3.14159265358979 / 180.0;
        const double c = std::cos(a), s = std::sin(a);
        // Target pixel to source texel: turned back about the centre.
        pixman_f_transform ft;
        ft.m[0][0] = c, ft.m[0][1] = s, ft.m[0][2] = srcW / 2 - (c * CentreX(n) + s * CentreY(n));
        ft.m[1][0] = -s, ft.m[1][1] = c, ft.m[1][2] = srcH / 2 - (-s * CentreX(n) + c * CentreY(n));
        ft.m[2][0] = 0, ft.m[2][1] = 0, ft.m[2][2] = 1;
        pixman_transform_t t;
        pixman_transform_from_pixman_f_transform(&t, &ft);
        pixman_image_set_transform(source.pix, &t);
        pixman_image_set_filter(source.pix, PIXMAN_FILTER_NEAREST, nullptr, 0);
    }

    void Pixman(int n) {
        if (job.geometry == Rotated) {
            if (sprite || n == 0) SetRotation(n);
            int box[4];
            RotatedBox(n, box);
            pixman_image_composite32(job.op, source.pix, mask, target.pix, box[0], box[1], 0, 0, box[0], box[1],
                                     box[2] - box[0], box[3] - box[1]);
            return;
        }
        const int x = CentreX(n) - outW / 2, y = CentreY(n) - outH / 2;
        pixman_image_composite32(job.op, source.pix, mask, target.pix, 0, 0, 0, 0, x, y, outW, outH);
    }

    void Memcpy(int n) {
        const int x = CentreX(n) - outW / 2, y = CentreY(n) - outH / 2;
        const int bytes = kind == 1 ? 4 : 2;
        // The C library's memcpy itself: inlined, GCC would make it a slow
        // string move for short rows.
        static void* (*volatile copyRow)(void*, const void*, size_t) = std::memcpy;
        uint8_t* d = target.image.pixels + y * target.image.base->pitch + bytes * x;
        const uint8_t* s = source.image.pixels;
        for (int row = 0; row < outH; ++row, d += target.image.base->pitch, s += source.image.base->pitch)
            copyRow(d, s, static_cast<size_t>(outW) * bytes);
    }
};

enum Runner { RunScalar, RunSse2, RunAvx2, RunPixman, RunMemcpy };
const char* const kRunnerNames[] = {"scalar", "sse2", "avx2", "pixman", "memcpy"};
constexpr Runner kOurRunners[] = {RunScalar, RunSse2, RunAvx2};

std::string BenchName(const Job& job, int kind, bool sprite, Runner who) {
    std::string row = job.row;
    std::replace(row.begin(), row.end(), ' ', '_');
    return std::string("Table/") + row + (kind == 1 ? "/32bit/" : "/16bit/") + (sprite ? "sprite/" : "full/") +
           kRunnerNames[who];
}

void RunJob(benchmark::State& state, const Job* job, int kind, bool sprite, Runner who) {
    std::mt19937 rng(7);
    Scene scene(*job, kind, sprite, rng);
    SetBlendModeParam(job->mode, job->param);
    if (who <= RunAvx2 && !SetKernelPath(static_cast<KernelPath>(who))) {
        state.SkipWithError("this processor lacks the kernel form");
        return;
    }
    int n = 0;
    for (auto _ : state) {
        switch (who) {
        case RunScalar:
        case RunSse2:
        case RunAvx2: scene.Ours(n); break;
        case RunPixman: scene.Pixman(n); break;
        case RunMemcpy: scene.Memcpy(n); break;
        }
        ++n;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(scene.outW) * scene.outH);
    SetKernelPath(BestKernelPath());
}

// What one call costs beyond its pixels: a 1x1 source through each entry.
void CallCost(benchmark::State& state, int entry) {
    std::mt19937 rng(5);
    Surface target(64, 64, 1, false, 0, &rng), source(1, 1, 1, false, 0, &rng), palette(2, 2, 1, false, 0, &rng);
    MEMIMG paletteSource{};
    CreateMemImg(&paletteSource, 1, 1, 1, 1, 0, 0);
    BuildBlendTables();
    SetSoftwareDrawTarget(&target.image);
    ResetSoftwareDrawState();
    SetBlendModeParam(BlendAlpha, 100);
    const int rect[4] = {10, 10, 12, 12};
    const int vertices[12] = {10, 10, 0, 0, 12, 10, 1, 0, 10, 12, 0, 1};
    for (auto _ : state) {
        switch (entry) {
        case 0: BlitMemImg(&target.image, &source.image, 10, 10, 0, nullptr); break;
        case 1: BlitMemImg(&target.image, &paletteSource, 10, 10, 1, nullptr); break;
        case 2: StretchBlitMemImg(&target.image, &source.image, rect, 0, nullptr); break;
        case 3: RotateBlitMemImg(&target.image, &source.image, 10, 10, 0.5f, 1.0f, 0, 0, nullptr); break;
        case 4: FillTexturedTriangleMemImg(&target.image, &source.image, vertices, 0, nullptr, 0); break;
        }
        benchmark::ClobberMemory();
    }
    ReleaseMemImg(&paletteSource);
    SetSoftwareDrawTarget(nullptr);
}

void RegisterTable(bool pixmanOnly) {
    if (!pixmanOnly) {
        const char* const entries[] = {"plain", "plain_palette_keyed", "scaled", "rotated", "triangle"};
        for (int i = 0; i < 5; ++i)
            benchmark::RegisterBenchmark((std::string("CallCost/") + entries[i]).c_str(), CallCost, i);
    }
    for (int kind : {1, 0}) {
        for (const Job& job : kJobs) {
            for (bool sprite : {false, true}) {
                for (Runner who : {RunScalar, RunSse2, RunAvx2, RunPixman, RunMemcpy}) {
                    if (who == RunMemcpy && !job.withMemcpy) continue;
                    if (pixmanOnly && who != RunPixman) continue;
                    benchmark::RegisterBenchmark(BenchName(job, kind, sprite, who).c_str(), RunJob, &job, kind, sprite,
                                                 who)
                        ->MinTime(0.05)
                        ->Repetitions(3);
                }
            }
        }
    }
}

// Keeps the least time per iteration of each benchmark (over repetitions),
// in ns, and prints the usual lines unless quiet.
class TimeCollector : public benchmark::ConsoleReporter {
public:
    explicit TimeCollector(bool quiet) : quiet_(quiet) {}
    std::map<std::string, double> best;

    bool ReportContext(const Context& context) override {
        return quiet_ ? true : ConsoleReporter::ReportContext(context);
    }
    void ReportRuns(const std::vector<Run>& runs) override {
        if (!quiet_) ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            const double ns = run.cpu_accumulated_time * 1e9 / static_cast<double>(run.iterations);
            const std::string name = run.run_name.function_name;
            auto it = best.find(name);
            if (it == best.end() || ns < it->second) best[name] = ns;
        }
    }

private:
    bool quiet_;
};

// The same program again as a child with pixman's SIMD off: the times of
// the pixman jobs this run measured, one "name ns" line each.
std::map<std::string, double> PixmanPortableTimes(const char* self, const std::map<std::string, double>& measured) {
    std::map<std::string, double> times;
    std::string jobs;
    for (const auto& [name, ns] : measured) {
        if (name.size() < 7 || name.compare(name.size() - 7, 7, "/pixman") != 0) continue;
        jobs += (jobs.empty() ? "" : "|") + name;
    }
    if (jobs.empty()) return times;
    int fds[2];
    if (pipe(fds) != 0) return times;
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "PIXMAN_DISABLE=", 15) != 0) env.emplace_back(*e);
    env.emplace_back(kPixmanNoSimd);
    std::vector<char*> envp;
    for (std::string& s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string flag = kChildFlag, filter = "--benchmark_filter=^(" + jobs + ")/";
    char* argv[] = {const_cast<char*>(self), flag.data(), filter.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    pid_t pid;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return times;
    }
    FILE* in = fdopen(fds[0], "r");
    // pixman says on the same stream which implementations it left out.
    char line[512], name[256];
    double ns;
    while (std::fgets(line, sizeof line, in))
        if (std::sscanf(line, "Table/%255s %lf", name, &ns) == 2) times[std::string("Table/") + name] = ns;
    std::fclose(in);
    int status;
    waitpid(pid, &status, 0);
    return times;
}

void PrintTable(const std::map<std::string, double>& ours, const std::map<std::string, double>& portable) {
    auto get = [](const std::map<std::string, double>& m, const std::string& key) {
        auto it = m.find(key);
        return it == m.end() ? -1.0 : it->second;
    };
    auto cell = [](double v) {
        char buf[32];
        if (v < 0)
            std::snprintf(buf, sizeof buf, "%10s", "-");
        else
            std::snprintf(buf, sizeof buf, "%10.0f", v);
        return std::string(buf);
    };
    auto ratio = [](double peer, double mine) {
        char buf[32];
        if (peer < 0 || mine <= 0)
            std::snprintf(buf, sizeof buf, "%8s", "-");
        else
            std::snprintf(buf, sizeof buf, "%8.2f", peer / mine);
        return std::string(buf);
    };
    std::printf("\nns per draw (processor time, least of the repetitions); ratios are peer time / time of the form "
                "start-up chooses (%s), higher is better\n",
                KernelPathName(BestKernelPath()));
    std::printf("%-20s %-4s %-7s%10s%10s%10s%10s%10s%10s%8s%8s\n", "job", "bits", "size", "scalar", "sse2",
                "avx2", "pixman", "pixman C", "memcpy", "/pixman", "/memcpy");
    for (int kind : {1, 0}) {
        for (const Job& job : kJobs) {
            for (bool sprite : {false, true}) {
                double forms[3];
                for (Runner who : kOurRunners) forms[who] = get(ours, BenchName(job, kind, sprite, who));
                const double o = forms[static_cast<int>(BestKernelPath())];
                if (o < 0) continue;
                const double p = get(ours, BenchName(job, kind, sprite, RunPixman));
                const double c = get(portable, BenchName(job, kind, sprite, RunPixman));
                const double m = get(ours, BenchName(job, kind, sprite, RunMemcpy));
                std::printf("%-20s %-4s %-7s%s%s%s%s%s%s%s%s\n", job.row.c_str(), kind == 1 ? "32" : "16",
                            sprite ? "32x32" : "640x480", cell(forms[0]).c_str(), cell(forms[1]).c_str(),
                            cell(forms[2]).c_str(), cell(p).c_str(), cell(c).c_str(), cell(m).c_str(),
                            ratio(p, o).c_str(), ratio(m, o).c_str());
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], kChildFlag) == 0) {
        // Only pixman's table jobs, and only their times go to the parent.
        RegisterTable(true);
        argv[1] = argv[0];
        int childArgc = argc - 1;
        benchmark::Initialize(&childArgc, argv + 1);
        TimeCollector collector(true);
        benchmark::RunSpecifiedBenchmarks(&collector);
        for (const auto& [name, ns] : collector.best) std::printf("%s %.3f\n", name.c_str(), ns);
        return 0;
    }
    RegisterTable(false);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TimeCollector collector(false);
    benchmark::RunSpecifiedBenchmarks(&collector);
    const std::map<std::string, double> portable = PixmanPortableTimes(argv[0], collector.best);
    PrintTable(collector.best, portable);
    benchmark::Shutdown();
    return 0;
}
