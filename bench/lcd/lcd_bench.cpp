// Benchmarks of the main window's display: one full paint and one Text assignment, with the
// number of heap allocations per operation (global operator new is counted in this binary).
#include "lcd/lcd_matrix.h"
#include "lcd/main_window_display.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {

std::atomic<long> allocations{0};
std::atomic<bool> counting{false};

void* CountedAlloc(std::size_t size) {
    if (counting.load(std::memory_order_relaxed)) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

// Counts the heap allocations made by fn over the benchmark's iterations.
template <typename Fn>
void RunCounted(benchmark::State& state, Fn&& fn) {
    allocations = 0;
    counting = true;
    for (auto _ : state) {
        fn();
    }
    counting = false;
    state.counters["allocs_per_op"] = benchmark::Counter(static_cast<double>(allocations.load()) /
                                                         static_cast<double>(state.iterations()));
}

// Readings as the meter gives them, 15 characters each, so every place is lit.
const std::string kReadings[2] = {"-1.16040760E+03", "+9.87654321E-02"};

struct Display {
    Display() {
        velmora::ConfigureAsMainWindowDisplay(display);
        display.SetText(kReadings[0]);
    }
    velmora::TiLCDMatrix display;
    QImage image{425, 89, QImage::Format_RGB32};
};

// A paint as the widget does it: a painter on the picture, the whole display drawn.
void BM_PaintWithPainter(benchmark::State& state) {
    Display d;
    {
        QPainter warm(&d.image); // first paint creates the positions and the paint engine
        d.display.PaintToCanvas(warm);
    }
    RunCounted(state, [&] {
        QPainter painter(&d.image);
        d.display.PaintToCanvas(painter);
    });
}
BENCHMARK(BM_PaintWithPainter);

// The display's own share: PaintToCanvas on a painter that stays open.
void BM_PaintToCanvasOnly(benchmark::State& state) {
    Display d;
    QPainter painter(&d.image);
    d.display.PaintToCanvas(painter);
    RunCounted(state, [&] {
        d.display.PaintToCanvas(painter);
        benchmark::ClobberMemory();
    });
}
BENCHMARK(BM_PaintToCanvasOnly);

// One reading reaching the display: Text assignment (positions rewritten, repaint requested).
void BM_TextAssignment(benchmark::State& state) {
    Display d;
    d.display.SetText(kReadings[1]);
    int next = 0;
    RunCounted(state, [&] {
        d.display.SetText(kReadings[next]);
        next ^= 1;
    });
}
BENCHMARK(BM_TextAssignment);

} // namespace

void* operator new(std::size_t size) {
    return CountedAlloc(size);
}
void* operator new[](std::size_t size) {
    return CountedAlloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return CountedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

int main(int argc, char** argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
