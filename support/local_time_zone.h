#pragma once

// The station's local time, as every local-time conversion of the client reads it.
class LocalTimeZone {
public:
    // While TZ is unset, glibc looks at /etc/localtime again on every local-time conversion, which
    // makes one conversion about eight times dearer. Naming that same file in TZ (":/etc/localtime",
    // which Qt reads as the system zone) lets the C library keep what it read once. Call before the
    // first conversion; true when TZ was set here, false when it was set already or there is no file.
    static bool Pin();
};
