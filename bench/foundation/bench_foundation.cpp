// Hot foundation routines: matrix work done per object per frame, random
// draws, and the allocator and formatter behind every engine record.
#include <benchmark/benchmark.h>

#include "engine/memory.h"
#include "engine/random.h"
#include "engine/text.h"
#include "engine/vecmath.h"

namespace {

Matrix44 SampleMatrix() {
    Matrix44 m;
    BuildEulerXYZMatrix(&m, 0.3f, -1.1f, 2.2f);
    Matrix44 t;
    BuildTranslationMatrix(&t, 4.0f, -2.0f, 9.5f);
    BuildProductMatrix(&m, &m, &t);
    return m;
}

void BM_MatrixProduct(benchmark::State& state) {
    Matrix44 a = SampleMatrix();
    const Matrix44 b = MakeYRotationMatrix(0.01f);
    for (auto _ : state) {
        BuildProductMatrix(&a, &a, &b);
        benchmark::DoNotOptimize(a);
    }
}
BENCHMARK(BM_MatrixProduct);

void BM_MatrixInverse(benchmark::State& state) {
    Matrix44 m = SampleMatrix();
    Matrix44 inv;
    for (auto _ : state) {
        benchmark::DoNotOptimize(m);
        benchmark::DoNotOptimize(BuildInverseMatrix(&inv, &m));
        benchmark::DoNotOptimize(inv);
    }
}
BENCHMARK(BM_MatrixInverse);

void BM_EulerBuildAndExtract(benchmark::State& state) {
    float ax = 0.3f, ay = -1.1f, az = 2.2f;
    Matrix44 m;
    for (auto _ : state) {
        BuildEulerZXYMatrix(&m, ax, ay, az);
        ExtractEulerZXYAngles(&m, &ax, &ay, &az);
        benchmark::DoNotOptimize(ax);
        benchmark::DoNotOptimize(ay);
        benchmark::DoNotOptimize(az);
    }
}
BENCHMARK(BM_EulerBuildAndExtract);

void BM_GetRandomUpTo(benchmark::State& state) {
    SeedRandom(4357);
    for (auto _ : state) benchmark::DoNotOptimize(GetRandomUpTo(1000));
}
BENCHMARK(BM_GetRandomUpTo);

void BM_AllocFree64(benchmark::State& state) {
    for (auto _ : state) {
        void* p = ENGINE_ALLOC(64);
        benchmark::DoNotOptimize(p);
        FreeMemory(p);
    }
}
BENCHMARK(BM_AllocFree64);

void BM_FormatShortLine(benchmark::State& state) {
    char line[128];
    int frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatString(line, sizeof line, "frame %d: %s at %.2f", ++frame, "player", 12.5));
        benchmark::DoNotOptimize(line);
    }
}
BENCHMARK(BM_FormatShortLine);

}  // namespace
