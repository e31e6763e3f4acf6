#pragma once

namespace platform {

// Makes every thread of the process allocate from the one heap the main
// thread uses. The C library otherwise gives each thread that allocates a
// heap of its own (up to eight per core), and what such a thread frees stays
// with its heap. The editor's helper threads (splitting a large text,
// scanning its colours, drawing on the thread pool) allocate little and
// briefly, so separate heaps only keep memory the main thread could reuse.
// To be called first in the process, before any thread starts.
void UseOneHeapForAllThreads();

}  // namespace platform
