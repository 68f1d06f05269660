// Throughput of the receive path with the terminal at its cap, headless, as
// a multiple of a 115200-baud line (11 520 bytes a second).
#include <benchmark/benchmark.h>

#include <random>

#include "tests/support/Rig.h"

namespace {

constexpr double kLineRate = 11520.0;

void fillToCap(kv::test::Rig& rig) {
    auto& term = rig.main->receive.txtTerminal;
    term.setColumns(100);
    term.append(std::string(550 * 100, '.'));
}

// Random binary bytes in chunks of the given size; every chunk follows a
// request, as replies do.
void BM_PostTerminal_Binary(benchmark::State& state) {
    kv::test::Rig rig;
    rig.load();
    rig.main->sequence.tmrLoopBack.setEnabled(false);
    rig.main->identity.txtAssetID.setText("x");  // no log rows
    fillToCap(rig);
    std::mt19937 random(42);
    std::vector<std::string> chunks(64);
    for (auto& c : chunks) {
        c.resize(static_cast<std::size_t>(state.range(0)));
        for (auto& ch : c) ch = static_cast<char>(random() & 0xFF);
    }
    std::size_t i = 0, bytes = 0;
    for (auto _ : state) {
        rig.main->receive.ResetReceive();
        rig.main->receive.PostTerminal(chunks[i++ % chunks.size()]);
        bytes += static_cast<std::size_t>(state.range(0));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["x_line_rate"] =
        benchmark::Counter(static_cast<double>(bytes) / kLineRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PostTerminal_Binary)->Arg(1)->Arg(16)->Arg(256);

// Complete replies of an unlisted code, each dumped by ParseMsg.
void BM_PostTerminal_Replies(benchmark::State& state) {
    kv::test::Rig rig;
    rig.load();
    rig.main->sequence.tmrLoopBack.setEnabled(false);
    fillToCap(rig);
    std::string reply = {0x33, 0x01, 0x50};
    reply.resize(83, 0x42);
    std::size_t bytes = 0;
    for (auto _ : state) {
        rig.main->receive.PostTerminal(reply);
        bytes += reply.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["x_line_rate"] =
        benchmark::Counter(static_cast<double>(bytes) / kLineRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PostTerminal_Replies);

}  // namespace

BENCHMARK_MAIN();
