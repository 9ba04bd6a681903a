// What the benchmark programs share: a clock in milliseconds, and a guard
// that keeps the engine's diagnostic lines out of the tables.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Silences standard error while it lives.
struct Quiet {
    int saved;
    Quiet()
    {
        fflush(stderr);
        saved = dup(2);
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 2);
        close(null);
    }
    ~Quiet()
    {
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
};
