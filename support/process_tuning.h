#pragma once

// How the process uses the C library, set once at start before any thread.
class ProcessTuning {
public:
    // Archive replies of megabytes are received, copied and freed on every read. By default glibc maps
    // such blocks fresh from the kernel and returns them when freed, so each read pays for faulting in
    // every page again (over half of a day read's time). Keeping freed memory, up to a bound, for the
    // next block avoids that.
    static void KeepLargeBlocks();
};
