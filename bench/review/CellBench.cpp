// Throughput of the two inner loops: cutting sample lines and reading a typed cell.
#include "BenchFiles.h"
#include "review/SampleTable.h"
#include "review/WorkbookCell.h"

#include <benchmark/benchmark.h>

static void ScanSampleLines(benchmark::State& state)
{
    QByteArray bytes;
    for (int i = 0; bytes.size() < 8 * 1024 * 1024; ++i)
        bytes += "20240105/143023;123.4;1,205;0;-1.0;1,234.5;87;0.123;-5;999.9;12;\r\n";
    for (auto _ : state) {
        RowChunk chunk = scanSampleLines(bytes, 0, bytes.size());
        benchmark::DoNotOptimize(chunk.starts.data());
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(ScanSampleLines);

static void InterpretTyped(benchmark::State& state)
{
    const char* const texts[] = {"123.4", "1,205", "0", "-1.0", "1,234.5", "87", "0.123", "abc", "20240105/143023"};
    const Regional regional = Regional::plain();
    for (auto _ : state)
        for (const char* t : texts)
            benchmark::DoNotOptimize(interpretTyped(t, qsizetype(std::strlen(t)), regional));
    state.SetItemsProcessed(state.iterations() * 9);
}
BENCHMARK(InterpretTyped);

BENCHMARK_MAIN();
