#pragma once

// Heap allocations made through operator new by this process so far.
long AllocationCount();
