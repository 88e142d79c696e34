// Counts the calls of the global operator new in this program, so that the
// bench can tell how many heap blocks each stage of the launcher asks for.
// The libraries of the launcher are linked statically, so their allocations
// count too; direct malloc calls do not.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

std::uint64_t allocationCount();

// Nanoseconds per heap block when `liveBlocks` strings of 60 wide
// characters are allocated, kept, and freed again: the allocator's own cost
// at a small and at a large number of live blocks.
double nanosecondsPerAllocation(int liveBlocks);

// Milliseconds to malloc a block of `bytes`, write every byte of it once and
// free it: what a large launch data buffer costs before anything is copied.
double millisecondsPerLargeBlock(std::size_t bytes);

}  // namespace bench
