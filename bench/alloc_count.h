// Counts the allocations made through operator new, per thread and in all,
// for the benchmarks' allocations-per-line figures. alloc_count.cpp replaces
// the global operator new and delete of the benchmark program.
#pragma once

#include <cstdint>

namespace Arvek::Bench {

std::uint64_t ThreadAllocations();  // made by the calling thread so far
std::uint64_t AllAllocations();     // made by every thread so far

}  // namespace Arvek::Bench
