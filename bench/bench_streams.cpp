// Typed streams against plain copies.
//
// Arrays: 1 MiB of int32 moved with one XferInt32 call, unswapped and
// swapped, against a memcpy of the same bytes. A memory stream holds 2048
// bytes in memory and spills everything beyond into a temporary file, so
// its array transfers measure the realistic path through that file:
//   memstream_write_fresh  a new stream per iteration (temporary file made,
//                          written, deleted)
//   tempfile_write         the same bytes into a new file, with no stream
//   memstream_write        one stream rewritten from its start (the file is
//                          reused)
//   memstream_read         reading the spilled stream back
//   bufferstream_read      the read-only stream over a caller's buffer
//
// Compressed integers: 1 million small values (0..200) written with
// OBCompressInt_Write and read with OBCompressInt_Read, against the same
// values written and read one XferInt32 call each. Writes go into a memory
// stream (so into its file), reads come from a buffer stream.
//
// File streams: 1 million int32 written one XferInt32 call each through an
// OBFileStreamWriteRef (open, write, close), and read back the same way
// through an OBFileStreamReadRef, against std::fwrite and std::fread of the
// same values one at a time on a FILE*. Both sides close at the end of each
// iteration, so the ratio shows what a value costs on its way through the
// typed stream and the transfer object's buffer.
//
// At the end the program prints each candidate's time over its baseline.
// What to expect: unswapped transfers stay close to memcpy (the spilled
// stream's file lives in the page cache, and the kernel's copy is a memcpy);
// a fresh stream adds making, filling and deleting its temporary file, which
// the file system charges per block. tempfile_write does that alone (one
// write into a new file in the same folder, then deleted), so the ratio of
// the two shows what the stream adds to the file system's own cost. Swapped
// writes reverse the array into a block of up to 256 KiB and write that;
// swapped reads reverse what came in place. File transfers buffer 32 KiB, so
// one-value reads and writes cost a copy each, as with stdio; compressed
// blocks go out as one array write per 4096 values and come back as one
// array read.
#include <ombra/memory.h>
#include <ombra/typedstreams.h>

#include "BenchRatios.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr long long kInts = (1 << 20) / 4; // 1 MiB of int32
constexpr int kSmallValues = 1000000;
const char* const kArrayCase = "int32x262144";
const char* const kCompressedCase = "1M_small_values";
const char* const kFileCase = "1M_int32";

void* MallocAllocate(unsigned long long size) {
    return std::malloc(size ? size : 1);
}
void MallocFree(void* block) {
    std::free(block);
}

std::vector<int> Source() {
    std::vector<int> v(kInts);
    for (long long i = 0; i < kInts; ++i)
        v[i] = static_cast<int>(i * 2654435761u);
    return v;
}

std::vector<int> SmallValues() {
    std::vector<int> v(kSmallValues);
    for (int i = 0; i < kSmallValues; ++i)
        v[i] = (i * 37) % 201;
    return v;
}

void SetBytes(benchmark::State& state, long long perIteration) {
    state.SetBytesProcessed(state.iterations() * perIteration);
}

// ---- Arrays ------------------------------------------------------------------

void Memcpy(benchmark::State& state) {
    std::vector<int> src = Source(), dst(kInts);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kInts * sizeof(int));
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    SetBytes(state, kInts * 4);
}

void MemStreamWriteFresh(benchmark::State& state, short swapping) {
    std::vector<int> src = Source();
    for (auto _ : state) {
        OBMemStreamWrite stream;
        stream.SetSwapping(swapping);
        if (stream.XferInt32(src.data(), kInts) != kInts) state.SkipWithError("short write");
    }
    SetBytes(state, kInts * 4);
}

void MemStreamWrite(benchmark::State& state, short swapping) {
    std::vector<int> src = Source();
    OBMemStreamWrite stream;
    stream.SetSwapping(swapping);
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        if (stream.XferInt32(src.data(), kInts) != kInts) state.SkipWithError("short write");
    }
    SetBytes(state, kInts * 4);
}

void MemStreamRead(benchmark::State& state, short swapping) {
    std::vector<int> src = Source(), dst(kInts);
    OBMemXferBytes bytes;
    OBMemStreamWrite writer(&bytes);
    writer.XferInt32(src.data(), kInts);
    OBMemStreamRead stream(&bytes);
    stream.SetSwapping(swapping);
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        if (stream.XferInt32(dst.data(), kInts) != kInts) state.SkipWithError("short read");
        benchmark::DoNotOptimize(dst.data());
    }
    SetBytes(state, kInts * 4);
}

void BufferStreamRead(benchmark::State& state, short swapping) {
    std::vector<int> src = Source(), dst(kInts);
    OBBufferStreamRead stream(src.data(), kInts * sizeof(int));
    stream.SetSwapping(swapping);
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        if (stream.XferInt32(dst.data(), kInts) != kInts) state.SkipWithError("short read");
        benchmark::DoNotOptimize(dst.data());
    }
    SetBytes(state, kInts * 4);
}

// ---- Compressed integers -----------------------------------------------------

void CompressedWrite(benchmark::State& state) {
    std::vector<int> values = SmallValues();
    OBMemStreamWrite stream;
    long long bytes = 0;
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        {
            OBCompressInt_Write writer(&stream);
            for (int v : values)
                writer.Write(v);
        }
        bytes = stream.Tell();
    }
    state.counters["stream_bytes"] = static_cast<double>(bytes);
}

void RawWrite(benchmark::State& state) {
    std::vector<int> values = SmallValues();
    OBMemStreamWrite stream;
    long long bytes = 0;
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        for (int v : values)
            stream.XferInt32(v);
        bytes = stream.Tell();
    }
    state.counters["stream_bytes"] = static_cast<double>(bytes);
}

std::vector<unsigned char> Encoded(bool compressed) {
    std::vector<int> values = SmallValues();
    OBMemStreamWrite stream;
    if (compressed) {
        OBCompressInt_Write writer(&stream);
        for (int v : values)
            writer.Write(v);
    } else {
        stream.XferInt32(values.data(), kSmallValues);
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(stream.Tell()));
    OBMemStreamRead reader(stream.GetXferBytes());
    reader.Seek(0, kSeekFromStart);
    reader.XferByte(bytes.data(), static_cast<long long>(bytes.size()));
    return bytes;
}

void CompressedRead(benchmark::State& state) {
    std::vector<unsigned char> bytes = Encoded(true);
    OBBufferStreamRead stream(bytes.data(), bytes.size());
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        OBCompressInt_Read reader(&stream);
        long long sum = 0;
        for (int i = 0; i < kSmallValues; ++i)
            sum += reader.Read();
        benchmark::DoNotOptimize(sum);
    }
}

void RawRead(benchmark::State& state) {
    std::vector<unsigned char> bytes = Encoded(false);
    OBBufferStreamRead stream(bytes.data(), bytes.size());
    for (auto _ : state) {
        stream.Seek(0, kSeekFromStart);
        long long sum = 0;
        for (int i = 0; i < kSmallValues; ++i) {
            int v = 0;
            sum += stream.XferInt32(v);
        }
        benchmark::DoNotOptimize(sum);
    }
}

// ---- File streams against stdio ---------------------------------------------

// A scratch folder for the file benchmarks, removed at the end of the run.
std::string gScratch;

std::string ScratchFile(const char* name) {
    return gScratch + "/" + name;
}

// The floor under a fresh memory stream: the same bytes into a new file in
// the same folder, one write, then the file deleted, with no stream between.
void TempFileWrite(benchmark::State& state) {
    std::vector<int> src = Source();
    const std::string path = ScratchFile("bare.bin");
    for (auto _ : state) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0 || ::write(fd, src.data(), kInts * 4) != kInts * 4) {
            state.SkipWithError("cannot write a temporary file");
            if (fd >= 0) ::close(fd);
            break;
        }
        ::close(fd);
        ::unlink(path.c_str());
    }
    SetBytes(state, kInts * 4);
}

void FileStreamWrite(benchmark::State& state) {
    std::vector<int> values = SmallValues();
    OBSysFileRef file(ScratchFile("stream.bin").c_str());
    for (auto _ : state) {
        OBFileStreamWriteRef stream(file, kFileWrite | kFileTruncate, 0, 0);
        for (int v : values)
            stream.XferInt32(v);
        stream.Close();
        if (stream.GetStreamState() != kStreamClosed) state.SkipWithError("not written");
    }
    SetBytes(state, kSmallValues * 4LL);
}

void StdioWrite(benchmark::State& state) {
    std::vector<int> values = SmallValues();
    std::string path = ScratchFile("stdio.bin");
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) {
            state.SkipWithError("fopen");
            break;
        }
        for (int v : values)
            std::fwrite(&v, sizeof v, 1, f);
        std::fclose(f);
    }
    SetBytes(state, kSmallValues * 4LL);
}

// The file both read benchmarks read: the values written in one block.
std::string ValuesFile() {
    std::string path = ScratchFile("values.bin");
    std::vector<int> values = SmallValues();
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(values.data(), sizeof(int), values.size(), f);
        std::fclose(f);
    }
    return path;
}

void FileStreamRead(benchmark::State& state) {
    OBSysFileRef file(ValuesFile().c_str());
    for (auto _ : state) {
        OBFileStreamReadRef stream(file, kFileRead, 0, 0);
        long long sum = 0;
        for (int i = 0; i < kSmallValues; ++i) {
            int v = 0;
            sum += stream.XferInt32(v);
        }
        benchmark::DoNotOptimize(sum);
        if (stream.GetStreamState() != kStreamOK) state.SkipWithError("short read");
    }
    SetBytes(state, kSmallValues * 4LL);
}

void StdioRead(benchmark::State& state) {
    std::string path = ValuesFile();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            state.SkipWithError("fopen");
            break;
        }
        long long sum = 0;
        for (int i = 0; i < kSmallValues; ++i) {
            int v = 0;
            if (std::fread(&v, sizeof v, 1, f) != 1) state.SkipWithError("short read");
            sum += v;
        }
        benchmark::DoNotOptimize(sum);
        std::fclose(f);
    }
    SetBytes(state, kSmallValues * 4LL);
}

std::string Name(const char* kind, const char* which) {
    return std::string(kind) + "/" + which;
}

} // namespace

int main(int argc, char** argv) {
    // As a host does: the memory service comes before any other call.
    auto* service = new OBMemoryService(MallocAllocate, MallocFree, MallocAllocate, MallocFree);
    OBMemoryHandler::SetMemoryService(service);
    const char* tmp = std::getenv("TMPDIR");
    std::string scratch = std::string(tmp && *tmp ? tmp : "/tmp") + "/ombra-bench-XXXXXX";
    if (!::mkdtemp(&scratch[0])) {
        std::perror("mkdtemp");
        return 1;
    }
    gScratch = scratch;

    benchmark::RegisterBenchmark(Name("memcpy", kArrayCase).c_str(), Memcpy)->UseRealTime();
    struct Variant {
        const char* kind;
        void (*run)(benchmark::State&, short);
        short swapping;
    };
    const Variant variants[] = {
        {"memstream_write_fresh", MemStreamWriteFresh, 0},
        {"memstream_write_fresh_swapped", MemStreamWriteFresh, 1},
        {"memstream_write", MemStreamWrite, 0},
        {"memstream_write_swapped", MemStreamWrite, 1},
        {"memstream_read", MemStreamRead, 0},
        {"memstream_read_swapped", MemStreamRead, 1},
        {"bufferstream_read", BufferStreamRead, 0},
        {"bufferstream_read_swapped", BufferStreamRead, 1},
    };
    for (const Variant& v : variants) {
        benchmark::RegisterBenchmark(Name(v.kind, kArrayCase).c_str(), v.run, v.swapping)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark(Name("tempfile_write", kArrayCase).c_str(), TempFileWrite)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("compressed_write", kCompressedCase).c_str(), CompressedWrite)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("raw_write", kCompressedCase).c_str(), RawWrite)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("compressed_read", kCompressedCase).c_str(), CompressedRead)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("raw_read", kCompressedCase).c_str(), RawRead)->UseRealTime();
    benchmark::RegisterBenchmark(Name("file_write", kFileCase).c_str(), FileStreamWrite)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("stdio_write", kFileCase).c_str(), StdioWrite)->UseRealTime();
    benchmark::RegisterBenchmark(Name("file_read", kFileCase).c_str(), FileStreamRead)
        ->UseRealTime();
    benchmark::RegisterBenchmark(Name("stdio_read", kFileCase).c_str(), StdioRead)->UseRealTime();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ombra_bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    for (const Variant& v : variants) {
        std::string heading =
            std::string(v.kind) + " / memcpy, 1 MiB of int32 (1 = as fast as memcpy)";
        reporter.PrintRatios(heading.c_str(), std::string(v.kind) + "/", "memcpy/");
    }
    reporter.PrintRatios("memstream_write_fresh / a new file written once and deleted, the same "
                         "folder and bytes (1 = only the file system's own cost)",
                         "memstream_write_fresh/", "tempfile_write/");
    reporter.PrintRatios("compressed / raw writing, 1 million values 0..200 (below 1: compressed "
                         "is faster)",
                         "compressed_write/", "raw_write/");
    reporter.PrintRatios("compressed / raw reading, 1 million values 0..200", "compressed_read/",
                         "raw_read/");
    reporter.PrintRatios("file stream / stdio writing, 1 million int32 one call each (1 = as "
                         "fast as fwrite)",
                         "file_write/", "stdio_write/");
    reporter.PrintRatios("file stream / stdio reading, 1 million int32 one call each (1 = as "
                         "fast as fread)",
                         "file_read/", "stdio_read/");
    benchmark::Shutdown();
    for (const char* name : {"stream.bin", "stdio.bin", "values.bin", "bare.bin"})
        std::remove(ScratchFile(name).c_str());
    ::rmdir(gScratch.c_str());

    delete service;
    OBMemoryHandler::SetMemoryService(nullptr);
    return 0;
}
