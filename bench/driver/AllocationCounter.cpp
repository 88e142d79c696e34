// Counts the calls of the global operator new.
#include "AllocationCounter.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "Stats.h"

namespace {

std::atomic<std::uint64_t> allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    void* const block = std::malloc(size ? size : 1);
    if (!block) {
        throw std::bad_alloc();
    }
    return block;
}

void operator delete(void* block) noexcept { std::free(block); }

void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace bench {

std::uint64_t allocationCount() { return allocations.load(std::memory_order_relaxed); }

double nanosecondsPerAllocation(int liveBlocks) {
    const std::wstring prototype(60, L'x');
    std::vector<std::wstring> blocks;
    blocks.reserve(static_cast<std::size_t>(liveBlocks));
    std::vector<double> perBlock;
    const int rounds = std::max(5, 200000 / liveBlocks);
    for (int round = 0; round < rounds; ++round) {
        const Stopwatch clock;
        for (int i = 0; i < liveBlocks; ++i) {
            blocks.push_back(prototype);
        }
        blocks.clear();
        perBlock.push_back(clock.elapsedMs() * 1e6 / liveBlocks);
    }
    return summarize(perBlock).median;
}

double millisecondsPerLargeBlock(std::size_t bytes) {
    std::vector<double> times;
    for (int round = 0; round < 9; ++round) {
        const Stopwatch clock;
        char* const block = static_cast<char*>(std::malloc(bytes));
        if (!block) {
            throw std::bad_alloc();
        }
        std::memset(block, round, bytes);
        // Keeps the writes from being optimised away.
        volatile char sink = block[bytes / 2];
        static_cast<void>(sink);
        std::free(block);
        times.push_back(clock.elapsedMs());
    }
    return summarize(times).median;
}

}  // namespace bench
