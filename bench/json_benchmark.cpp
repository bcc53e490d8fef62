// The JSON reader against nlohmann-json, on the service reply and
// on generated documents of about 100 KB and 1 MB (arrays of objects of
// strings, flat number arrays, nesting five deep). Both build a full tree.
// After the run it prints the reader's CPU time as a multiple of nlohmann's on
// each document, and its 1 MB time as a multiple of its 100 KB time.
//
//   json_benchmark [--benchmark_filter=...] [other Google Benchmark flags]

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "json/JsonValue.h"

namespace {

const std::string kReply =
    R"({"errno":"0","data":{"server_name":"S12 \u7687\u57ce","logout_url":"http://127.0.0.1:47800/logout.php?gkey=qelu&skey=S12",)"
    R"("gsurl":"http://127.0.0.1:47800/vip/chat.html?gs=712&skey=S12&sign=0f3c5a9e","user_name":"VIP-Li"}})";

// {"version":..,"items":[{"id":..,"name":..,"tags":[..],"scores":[..],
// "attrs":{"color":..,"size":..,"meta":{"created":..,"owner":..,"notes":[..]}}},
// ...],"total":n}: five levels of containers at most.
std::string GenerateDocument(std::size_t targetBytes) {
  static const char* const colors[] = {"red", "green", "blue", "amber", "violet"};
  static const char* const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot", "golf", "hotel"};
  std::string doc = R"({"version":"1.4.2","generator":"kqv-bench","items":[)";
  std::size_t id = 0;
  while (doc.size() < targetBytes) {
    if (id > 0) doc += ',';
    const std::string n = std::to_string(id);
    doc += R"({"id":)" + n + R"(,"name":"item )" + n + R"( of the catalogue","tags":[)";
    for (int t = 0; t < 4; ++t) doc += std::string(t ? "," : "") + "\"" + words[(id + t) % 8] + "\"";
    doc += R"(],"scores":[)";
    for (int s = 0; s < 8; ++s) doc += (s ? "," : "") + std::to_string((id * 37 + s * 11) % 1000);
    doc += R"(],"ratio":)" + std::to_string(id % 100) + ".25";
    doc += R"(,"active":)" + std::string(id % 3 ? "true" : "false");
    doc += R"(,"attrs":{"color":")" + std::string(colors[id % 5]) + R"(","size":"L","meta":{"created":"2024-05-)" +
           std::to_string(10 + id % 20) + R"(T08:30:00Z","owner":"user)" + std::to_string(id % 97) +
           R"(@example.com","notes":["first note \"quoted\"","second note\twith tab","http:\/\/example.com\/)" + n +
           R"("]}}})";
    ++id;
  }
  doc += R"(],"total":)" + std::to_string(id) + "}";
  return doc;
}

const std::string& Document(int which) {
  static const std::string small = GenerateDocument(100 * 1024);
  static const std::string large = GenerateDocument(1024 * 1024);
  return which == 0 ? kReply : which == 1 ? small : large;
}

const char* const kNames[] = {"Reply", "100KB", "1MB"};

// range(1) 1: the tree is freed inside the timing, as a caller that drops it
// at once pays; 0: only the reading is timed (freeing the larger tree costs
// more than its share once it no longer fits in the caches).
void BM_ParseJson(benchmark::State& state) {
  const std::string& text = Document(static_cast<int>(state.range(0)));
  const bool timeFreeing = state.range(1) != 0;
  for (auto _ : state) {
    JsonBracketStack stack;
    auto root = std::make_unique<JsonValue>(ParseJson(text, stack));
    if (root->mValueType != JsonValue::ObjectVal) state.SkipWithError("the reader gave no object");
    benchmark::DoNotOptimize(root.get());
    if (!timeFreeing) state.PauseTiming();
    root.reset();
    if (!timeFreeing) state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

void BM_Nlohmann(benchmark::State& state) {
  const std::string& text = Document(static_cast<int>(state.range(0)));
  const bool timeFreeing = state.range(1) != 0;
  for (auto _ : state) {
    auto root = std::make_unique<nlohmann::json>(nlohmann::json::parse(text));
    benchmark::DoNotOptimize(root.get());
    if (!timeFreeing) state.PauseTiming();
    root.reset();
    if (!timeFreeing) state.ResumeTiming();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  state.SetLabel(kNames[state.range(0)]);
}

BENCHMARK(BM_ParseJson)->ArgsProduct({{0, 1, 2}, {1}})->Args({1, 0})->Args({2, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Nlohmann)->ArgsProduct({{0, 1, 2}, {1}})->Args({1, 0})->Args({2, 0})->Unit(benchmark::kMicrosecond);

// Remembers each run's CPU time per iteration (this machine is shared, and
// wall time counts the time other processes hold the CPU), then prints the
// ratios of the medians (over --benchmark_repetitions, if given).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0)
        seconds_[run.run_name.function_name + "/" + run.run_name.args].push_back(run.cpu_accumulated_time /
                                                                                 static_cast<double>(run.iterations));
    ConsoleReporter::ReportRuns(runs);
  }

  void PrintRatios() const {
    std::printf("\nParseJson time / nlohmann time, trees freed in the timing (target <= 0.5):\n");
    for (int i = 0; i < 3; ++i) {
      const Spread mine = Times("BM_ParseJson", i, 1);
      const Spread theirs = Times("BM_Nlohmann", i, 1);
      if (mine.median > 0 && theirs.median > 0)
        std::printf("  %-6s %.2f  (%.1f us [%.1f-%.1f] vs %.1f us [%.1f-%.1f], %zu bytes)\n", kNames[i],
                    mine.median / theirs.median, mine.median * 1e6, mine.p25 * 1e6, mine.p75 * 1e6, theirs.median * 1e6,
                    theirs.p25 * 1e6, theirs.p75 * 1e6, Document(i).size());
    }
    std::printf("1MB time / 100KB time (size ratio %.2f; target <= 11):\n",
                static_cast<double>(Document(2).size()) / static_cast<double>(Document(1).size()));
    for (const char* reader : {"BM_ParseJson", "BM_Nlohmann"}) {
      for (int freeing : {0, 1}) {
        const double small = Times(reader, 1, freeing).median;
        const double large = Times(reader, 2, freeing).median;
        if (small > 0 && large > 0)
          std::printf("  %-12s %-22s %.2f\n", reader + 3, freeing ? "reading and freeing" : "reading", large / small);
      }
    }
  }

 private:
  // The median and quartiles of one run's repetitions (all three the same
  // without --benchmark_repetitions).
  struct Spread {
    double median = 0, p25 = 0, p75 = 0;
  };
  Spread Times(const std::string& function, int document, int freeing) const {
    const auto found = seconds_.find(function + "/" + std::to_string(document) + "/" + std::to_string(freeing));
    if (found == seconds_.end() || found->second.empty()) return {};
    std::vector<double> times = found->second;
    std::sort(times.begin(), times.end());
    const std::size_t last = times.size() - 1;
    return {times[times.size() / 2], times[last / 4], times[last - last / 4]};
  }
  std::map<std::string, std::vector<double>> seconds_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Both readers must take every document before they are timed.
  for (int i = 0; i < 3; ++i) {
    JsonBracketStack stack;
    if (ParseJson(Document(i), stack).mValueType != JsonValue::ObjectVal || !nlohmann::json::accept(Document(i))) {
      std::fprintf(stderr, "document %s is not read by both readers\n", kNames[i]);
      return 1;
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}
