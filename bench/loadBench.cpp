// In-process load timings: the viewer's model start-up (load, flip the winding, rebuild the normals) against
// reading the same file whole into memory (the floor) and against assimp's importer, file by file.
#include <assimp/cimport.h>
#include <assimp/scene.h>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "model/md2.h"
#include "model/md2Prepare.h"

namespace {

// What any loader must at least do to see the bytes: open, size, one read into a fresh buffer, close.
void readFloor(benchmark::State& state, const std::string& path)
{
    size_t total = 0;
    for (auto _ : state) {
        FILE* file = std::fopen(path.c_str(), "rb");
        if (file == nullptr) {
            state.SkipWithError("cannot open the file");
            return;
        }
        std::fseek(file, 0, SEEK_END);
        const long length = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        // Uninitialised like the loader's buffer, so both pay the same page faults and nothing more.
        std::unique_ptr<uint8_t[]> bytes(new uint8_t[length > 0 ? size_t(length) : 1]);
        const size_t read = std::fread(bytes.get(), 1, size_t(length), file);
        std::fclose(file);
        benchmark::DoNotOptimize(bytes.get());
        benchmark::ClobberMemory();
        total += read;
    }
    state.SetBytesProcessed(int64_t(total));
}

// What the viewer does at start-up with its model, and the release it never does, to stay repeatable.
void brevantLoad(benchmark::State& state, const std::string& path)
{
    int64_t vertices = 0;
    for (auto _ : state) {
        Md2Model* model = loadMd2Model(path.c_str());
        if (model == nullptr) {
            state.SkipWithError("loadMd2Model refused the file");
            return;
        }
        flipWinding(model);
        computeVertexNormals(model);
        benchmark::DoNotOptimize(model->frames[model->numFrames - 1].vertices.get());
        benchmark::ClobberMemory();
        vertices = int64_t(model->numVertices) * model->numFrames;
        freeMd2Model(model);
    }
    state.counters["verticesDecoded"] = double(vertices);
}

// assimp's importer with no post-processing; it decodes only one frame of an MD2 file.
void assimpImport(benchmark::State& state, const std::string& path)
{
    int64_t vertices = 0;
    for (auto _ : state) {
        const aiScene* scene = aiImportFile(path.c_str(), 0);
        if (scene == nullptr) {
            state.SkipWithError(aiGetErrorString());
            return;
        }
        vertices = 0;
        for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
            vertices += scene->mMeshes[i]->mNumVertices;
        }
        benchmark::DoNotOptimize(scene);
        aiReleaseImport(scene);
    }
    state.counters["verticesDecoded"] = double(vertices);
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// Files to load come after the Google Benchmark flags; without any, the two the table reports.
int main(int argc, char** argv)
{
    // Keep freed memory in the process, so every iteration of every benchmark writes into pages it already
    // has. Otherwise glibc hands a large free back to the kernel or not depending on its size and history,
    // and page faults (very dear on a virtual machine) would land on some benchmarks and not on others.
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    benchmark::Initialize(&argc, argv);
    std::vector<std::string> paths(argv + 1, argv + argc);
    if (paths.empty()) {
        paths = {BREVANT_BENCH_DOLPHIN, BREVANT_BENCH_LIMIT_MODEL};
    }
    for (const std::string& path : paths) {
        const std::string name = baseName(path);
        benchmark::RegisterBenchmark(("read/" + name).c_str(), readFloor, path)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("brevant/" + name).c_str(), brevantLoad, path)->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("assimp/" + name).c_str(), assimpImport, path)->Unit(benchmark::kMicrosecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
