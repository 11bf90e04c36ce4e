#include "support/process_tuning.h"

#include <malloc.h>

void ProcessTuning::KeepLargeBlocks() {
    // Blocks up to 32 MiB (glibc's ceiling for this setting) come from the heap, and up to 64 MiB of
    // free memory at its top stays with the process.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
}
