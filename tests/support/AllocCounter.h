#pragma once

// Heap allocations made through operator new by this program so far (the
// file replaces the global operator new; link it into one binary only).
long AllocationCount();
// Bytes asked for by those allocations.
long AllocatedBytes();
