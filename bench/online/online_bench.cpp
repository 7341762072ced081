// Abandoning a request to a server that never answers (what closing the window mid-request
// costs), and reading from one that never stops sending.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>

#include "online_net/stub_server.h"
#include "platform/sdl/http_curl.h"

namespace zorvan {
namespace {

void AbandonASilentRequest(benchmark::State& state) {
    CurlHttp http;
    test::StubServer silent("");
    for (auto _ : state) {
        const int before = silent.requests();
        auto call = http.startGet(silent.base() + "/update_zelk.php");
        while (silent.requests() == before) ::usleep(200);
        const auto start = std::chrono::steady_clock::now();
        call.reset();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}
BENCHMARK(AbandonASilentRequest)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(50);

void ReadAnEndlessReply(benchmark::State& state) {
    CurlHttp http;
    std::size_t streamed = 0;
    for (auto _ : state) {
        test::StubServer endless("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", std::size_t{256} << 20);
        HttpReply reply = http.get(endless.base());
        benchmark::DoNotOptimize(reply);
        streamed = endless.streamed();
    }
    state.counters["MiB_sent_before_the_client_stopped"] = static_cast<double>(streamed) / (1 << 20);
}
BENCHMARK(ReadAnEndlessReply)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace zorvan

BENCHMARK_MAIN();
