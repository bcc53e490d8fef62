// The JSON reader against nlohmann-json, on the service reply and
// on generated documents of about 100 KB and 1 MB (arrays of objects of
// strings, flat number arrays, nesting five deep). Both build a full tree.
// After Google Benchmark's tables it prints, from paired rounds, the reader's
// CPU time as a multiple of nlohmann's on each document, and its 1 MB time as
// a multiple of its 100 KB time.
//
//   json_benchmark [--pairs=N] [--benchmark_filter=...] [other Google Benchmark flags]
//   json_benchmark --reads=DOCUMENT:N [--reader=nlohmann]
//
// --reads only reads one document (Reply, 100KB or 1MB) N times with one
// reader and prints nothing else: a fixed workload for valgrind's cachegrind
// and callgrind, whose counts do not move with the machine's load.

#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// The ratios come from paired rounds, not from the tables above: Google
// Benchmark runs all repetitions of one reader before the other, and on a
// shared machine the load changes in between (a ratio moved from 0.33 to 0.78
// between two runs of one build). A round times both readers on one document
// back to back, in alternating order, each over about 20 ms of CPU time, so
// both see the same load; each figure is the median over the rounds of the
// round's own ratio.
double ThreadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Seconds per read, the tree freed inside the timing. One untimed read first
// leaves the heap as this reader's own reads leave it (the other reader's
// tree may have taken it back to another size).
template <class Read>
double SecondsPerRead(int reads, Read&& read) {
  read();
  const double start = ThreadCpuSeconds();
  for (int i = 0; i < reads; ++i) read();
  return (ThreadCpuSeconds() - start) / reads;
}

void ParseOnce(const std::string& text) {
  JsonBracketStack stack;
  auto root = std::make_unique<JsonValue>(ParseJson(text, stack));
  benchmark::DoNotOptimize(root.get());
}

void NlohmannOnce(const std::string& text) {
  auto root = std::make_unique<nlohmann::json>(nlohmann::json::parse(text));
  benchmark::DoNotOptimize(root.get());
}

// Times a and b back to back, in the order the round's parity gives.
template <class A, class B>
std::pair<double, double> PairedRound(int round, int readsA, A&& a, int readsB, B&& b) {
  double first = 0, second = 0;
  if (round % 2 == 0) {
    first = SecondsPerRead(readsA, a);
    second = SecondsPerRead(readsB, b);
  } else {
    second = SecondsPerRead(readsB, b);
    first = SecondsPerRead(readsA, a);
  }
  return {first, second};
}

struct Quartiles {
  double p25, median, p75;
};

Quartiles QuartilesOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t last = values.size() - 1;
  return {values[last / 4], values[last / 2], values[last - last / 4]};
}

void PrintPairedRounds(int rounds) {
  const int reads[] = {20000, 30, 3};  // about 20 ms a side on this machine
  std::printf("\n%d paired rounds, median [p25-p75], trees freed in the timing\n", rounds);
  std::printf("ParseJson time / nlohmann time (target <= 0.5):\n");
  for (int document = 0; document < 3; ++document) {
    const std::string& text = Document(document);
    std::vector<double> mine, theirs, ratios;
    for (int round = 0; round < rounds; ++round) {
      const auto [a, b] = PairedRound(
          round, reads[document], [&] { ParseOnce(text); }, reads[document], [&] { NlohmannOnce(text); });
      mine.push_back(a);
      theirs.push_back(b);
      ratios.push_back(a / b);
    }
    const Quartiles m = QuartilesOf(mine), t = QuartilesOf(theirs), r = QuartilesOf(ratios);
    std::printf("  %-6s %.2f [%.2f-%.2f]  ParseJson %.1f us [%.1f-%.1f], nlohmann %.1f us [%.1f-%.1f]\n",
                kNames[document], r.median, r.p25, r.p75, m.median * 1e6, m.p25 * 1e6, m.p75 * 1e6, t.median * 1e6,
                t.p25 * 1e6, t.p75 * 1e6);
  }
  std::vector<double> growth;
  for (int round = 0; round < rounds; ++round) {
    const auto [large, small] = PairedRound(
        round, reads[2], [&] { ParseOnce(Document(2)); }, reads[1], [&] { ParseOnce(Document(1)); });
    growth.push_back(large / small);
  }
  const Quartiles g = QuartilesOf(growth);
  std::printf("ParseJson 1MB time / 100KB time: %.2f [%.2f-%.2f] (size ratio %.2f; target <= 11)\n", g.median, g.p25,
              g.p75, static_cast<double>(Document(2).size()) / static_cast<double>(Document(1).size()));
}

// The value of option name ("--name=") taken out of argv, or null.
const char* TakeOption(int& argc, char** argv, const char* name) {
  const std::size_t length = std::strlen(name);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], name, length) == 0) {
      const char* value = argv[i] + length;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      return value;
    }
  }
  return nullptr;
}

// --reads=DOCUMENT:N. 0 when done, 2 for a malformed request.
int ReadOnly(const char* request, const char* reader) {
  const char* colon = std::strchr(request, ':');
  int document = -1;
  for (int i = 0; i < 3 && colon != nullptr; ++i)
    if (std::string(request, colon) == kNames[i]) document = i;
  const int reads = colon != nullptr ? std::atoi(colon + 1) : 0;
  const bool nlohmann = reader != nullptr && std::strcmp(reader, "nlohmann") == 0;
  if (document < 0 || reads <= 0 || (reader != nullptr && !nlohmann && std::strcmp(reader, "ParseJson") != 0)) {
    std::fprintf(stderr, "usage: --reads=Reply|100KB|1MB:N [--reader=ParseJson|nlohmann]\n");
    return 2;
  }
  const std::string& text = Document(document);
  for (int i = 0; i < reads; ++i) nlohmann ? NlohmannOnce(text) : ParseOnce(text);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* reads = TakeOption(argc, argv, "--reads=");
  const char* reader = TakeOption(argc, argv, "--reader=");
  if (reads != nullptr) return ReadOnly(reads, reader);
  // --pairs=N: the paired rounds (0 skips them).
  int rounds = 31;
  if (const char* pairs = TakeOption(argc, argv, "--pairs=")) rounds = std::atoi(pairs);
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
  benchmark::RunSpecifiedBenchmarks();
  if (rounds > 0) PrintPairedRounds(rounds);
  benchmark::Shutdown();
  return 0;
}
