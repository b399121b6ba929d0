// Throughput of every conversion routine (family x direction x tier) on full
// frames, serial and through a two-thread stand-in of the host's parallel-run
// service, with memcpy of the same traffic as the yardstick. After the
// benchmarks a table gives each routine's median bytes per second and its
// ratio to memcpy with the same number of threads.
//
// Bytes moved per frame = host image bytes read or written + texture bytes
// written or read. The memcpy yardstick copies half that many bytes, so it
// too moves the same number of bytes (each read once, written once). Each
// iteration times one conversion and then one such copy, so the ratio holds
// even when other load on the machine comes and goes during the run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipeline/conversion.h"
#include "pipeline/conversion_reference.h"
#include "pipeline/conversion_tiers.h"
#include "host/host_interface.h"

namespace {

struct FrameSize {
  uint32_t width;
  uint32_t height;
};
constexpr FrameSize kSizes[] = {{1920, 1080}, {3840, 2160}};
constexpr uint32_t kFamilies[] = {float32, float16, raw16, biased16};
constexpr ConversionTier kTiers[] = {ConversionTier::mmx, ConversionTier::sse, ConversionTier::sse2,
                                     ConversionTier::avx2};
const char* const kFamilyNames[] = {"float32", "float16", "raw16", "biased16"};
const char* const kTierNames[] = {"mmx", "sse", "sse2", "avx2"};

// Feature bit a tier needs on the running machine (see DetectCpuFeatures).
int32_t FeatureBitOf(ConversionTier tier) {
  static const int32_t bits[] = {1, 2, 4, 8};
  return bits[static_cast<int>(tier)];
}

// Buffers for the largest frame, allocated and faulted in once.
struct Buffers {
  uint8_t* host;
  uint8_t* texture;
  uint8_t* copy_source;
  uint8_t* copy_target;
};

uint8_t* Allocate(size_t size) {
  uint8_t* memory = static_cast<uint8_t*>(aligned_alloc(64, (size + 63) / 64 * 64));
  if (memory == nullptr) abort();
  memset(memory, 0x11, size);
  return memory;
}

Buffers& SharedBuffers() {
  static Buffers buffers = [] {
    const size_t pixels = size_t{3840} * 2160;
    Buffers b;
    b.host = Allocate(pixels * 6);
    b.texture = Allocate(pixels * 16);
    b.copy_source = Allocate(pixels * 11);
    b.copy_target = Allocate(pixels * 11);
    // Host components spread over the whole range, as real frames are.
    for (size_t i = 0; i < pixels * 3; ++i) {
      const int16_t v = static_cast<int16_t>((i * 2654435761u) >> 16);
      memcpy(b.host + 2 * i, &v, 2);
    }
    return b;
  }();
  return buffers;
}

// A persistent second thread, as the host keeps its worker threads.
class TwoThreadService {
 public:
  TwoThreadService() : worker_([this] { Work(); }) {}
  ~TwoThreadService() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      quit_ = true;
      ++posted_;
    }
    wake_.notify_all();
    worker_.join();
  }

  void Run(ParallelRoutine routine, void* first, void* second) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      routine_ = routine;
      first_ = first;
      second_ = second;
      ++posted_;
    }
    wake_.notify_all();
    routine(0, 2, first, second);
    std::unique_lock<std::mutex> lock(mutex_);
    wake_.wait(lock, [this] { return finished_ == posted_; });
  }

 private:
  void Work() {
    uint64_t seen = 0;
    for (;;) {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return posted_ != seen; });
      seen = posted_;
      if (quit_) return;
      ParallelRoutine routine = routine_;
      void* first = first_;
      void* second = second_;
      lock.unlock();
      routine(1, 2, first, second);
      lock.lock();
      finished_ = seen;
      wake_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  bool quit_ = false;
  ParallelRoutine routine_ = nullptr;
  void* first_ = nullptr;
  void* second_ = nullptr;
  std::thread worker_;
};

TwoThreadService* two_threads = nullptr;

BOOL __cdecl RunOnTwoThreads(ParallelRoutine routine, void* first, void* second) {
  two_threads->Run(routine, first, second);
  return TRUE;
}

struct Entry {
  std::string group;  // "float32 upload"
  std::string tier;
  FrameSize size;
  int threads;
  double bytes_per_frame;
};
std::map<std::string, Entry> entries;

struct CopyJob {
  uint8_t* target;
  const uint8_t* source;
  size_t size;
};

void __cdecl CopyHalf(int index, int count, void* first, void*) {
  CopyJob* job = static_cast<CopyJob*>(first);
  const size_t half = job->size / 2 / 64 * 64;
  const size_t begin = index == 0 ? 0 : half;
  const size_t end = index == 0 ? half : job->size;
  memcpy(job->target + begin, job->source + begin, end - begin);
}

void ConvertBenchmark(benchmark::State& state, uint32_t family, bool upload, ConversionTier tier,
                      FrameSize size, int threads) {
  Buffers& b = SharedBuffers();
  const ConversionRoutines& routines = *ConversionRoutinesForTier(tier, family);
  ConversionJob job = {b.texture,
                       reinterpret_cast<HostPixel*>(b.host),
                       size.height,
                       size.width,
                       static_cast<int32_t>(size.width * TexelBytes(family)),
                       static_cast<int32_t>(size.width)};
  if (!upload) routines.upload_serial(&job);  // real texels to read back
  const double bytes = double(size.width) * size.height * (6 + TexelBytes(family));
  CopyJob copy = {b.copy_target, b.copy_source, static_cast<size_t>(bytes / 2)};
  double convert_seconds = 0;
  double copy_seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (threads == 1) {
      if (upload) {
        routines.upload_serial(&job);
      } else {
        routines.readback_serial(&job);
      }
    } else {
      InterlockedExchange(&row_counter, 0);
      RunOnTwoThreads(reinterpret_cast<ParallelRoutine>(upload ? routines.upload_parallel
                                                               : routines.readback_parallel),
                      &job, nullptr);
    }
    benchmark::ClobberMemory();
    const auto converted = std::chrono::steady_clock::now();
    if (threads == 1) {
      memcpy(copy.target, copy.source, copy.size);
    } else {
      RunOnTwoThreads(CopyHalf, &copy, nullptr);
    }
    benchmark::ClobberMemory();
    const auto copied = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(converted - start).count();
    state.SetIterationTime(seconds);
    convert_seconds += seconds;
    copy_seconds += std::chrono::duration<double>(copied - converted).count();
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes * state.iterations()));
  state.counters["vs_memcpy"] = copy_seconds / convert_seconds;
  state.counters["memcpy_GBps"] = bytes * state.iterations() / copy_seconds / 1e9;
}

std::string SizeName(FrameSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

void RegisterAll() {
  const int32_t features = DetectCpuFeatures();
  for (int threads : {1, 2}) {
    for (FrameSize size : kSizes) {
      for (uint32_t family : kFamilies) {
        for (bool upload : {true, false}) {
          for (ConversionTier tier : kTiers) {
            if (!(features & FeatureBitOf(tier))) continue;  // the machine lacks the tier
            const std::string group =
                std::string(kFamilyNames[family]) + (upload ? " upload" : " read-back");
            const std::string name = group + "/" + kTierNames[static_cast<int>(tier)] + "/" +
                                     SizeName(size) + "/threads:" + std::to_string(threads);
            entries[name] = {group, kTierNames[static_cast<int>(tier)], size, threads,
                             double(size.width) * size.height * (6 + TexelBytes(family))};
            benchmark::RegisterBenchmark(name.c_str(), ConvertBenchmark, family, upload, tier, size,
                                         threads)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
          }
        }
      }
    }
  }
}

// Keeps the console output and collects the medians (or the single run when
// there are no repetitions) for the closing table.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      const auto entry = entries.find(run.run_name.function_name);
      if (entry == entries.end() || run.iterations == 0) continue;
      Result& result = results_[run.run_name.function_name];
      result.gbps = entry->second.bytes_per_frame / (run.GetAdjustedRealTime() / 1e3) / 1e9;
      const auto ratio = run.counters.find("vs_memcpy");
      const auto copy = run.counters.find("memcpy_GBps");
      result.ratio = ratio == run.counters.end() ? 0 : double(ratio->second);
      result.memcpy_gbps = copy == run.counters.end() ? 0 : double(copy->second);
    }
  }

  void PrintTable() const {
    printf("\nMedian GB/s of the conversion (ratio to memcpy of the same traffic, same threads)\n");
    printf("%-19s %-5s| %-15s| %-15s| %-15s| %-15s\n", "routine", "tier", "1080p 1 thread",
           "2160p 1 thread", "1080p 2 threads", "2160p 2 threads");
    std::map<std::string, std::map<std::string, std::string>> rows;
    std::vector<std::string> order;
    std::map<std::string, double> copy_sum;
    std::map<std::string, int> copy_count;
    for (const auto& [name, entry] : entries) {
      const auto found = results_.find(name);
      if (found == results_.end()) continue;
      const Result& result = found->second;
      char cell[64];
      snprintf(cell, sizeof cell, "%5.2f (%4.2f)", result.gbps, result.ratio);
      const std::string row = entry.group + "|" + entry.tier;
      if (rows.find(row) == rows.end()) order.push_back(row);
      const std::string column = SizeName(entry.size) + "/" + std::to_string(entry.threads);
      rows[row][column] = cell;
      copy_sum[column] += result.memcpy_gbps;
      ++copy_count[column];
    }
    for (const std::string& row : order) {
      const size_t bar = row.find('|');
      const auto& cells = rows[row];
      auto cell = [&](const char* key) {
        const auto found = cells.find(key);
        return found == cells.end() ? std::string("-") : found->second;
      };
      printf("%-19s %-5s| %-15s| %-15s| %-15s| %-15s\n", row.substr(0, bar).c_str(),
             row.substr(bar + 1).c_str(), cell("1920x1080/1").c_str(), cell("3840x2160/1").c_str(),
             cell("1920x1080/2").c_str(), cell("3840x2160/2").c_str());
    }
    printf("memcpy GB/s, mean over the runs above:");
    for (const auto& [column, sum] : copy_sum) {
      printf("  %s threads %.2f", column.c_str(), sum / copy_count[column]);
    }
    printf("\n");
  }

 private:
  struct Result {
    double gbps = 0;
    double ratio = 0;
    double memcpy_gbps = 0;
  };
  std::map<std::string, Result> results_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TwoThreadService service;
  two_threads = &service;
  RegisterAll();
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  two_threads = nullptr;
  benchmark::Shutdown();
  return 0;
}
