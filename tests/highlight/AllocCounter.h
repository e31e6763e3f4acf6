#pragma once

// Heap allocations made through operator new by this test binary so far.
long AllocationCount();
