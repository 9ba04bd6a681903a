# Sourced before running sanitizer builds (tests, fuzz targets): what
# AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer are told.
vemra_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# GSlice's own allocator (lists, hash tables) would hide GLib blocks from the
# leak checker: every block goes to malloc instead.
export G_SLICE=always-malloc
# Leaks are checked in every process; any undefined behaviour ends it.
export ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:verify_asan_link_order=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# Only the libraries' own leaks are suppressed, each named in the file.
export LSAN_OPTIONS=suppressions=$vemra_root/tests/lsan.supp
# Mesa unloads its GL driver when the last display closes, and a leak inside it
# could then no longer be told from one of the engine's: the driver is loaded
# first and stays. (The check of the library order is off for it.)
for vemra_dri in /usr/lib/*/dri/swrast_dri.so; do
    if [ -e "$vemra_dri" ]; then
        export LD_PRELOAD=$vemra_dri
        break
    fi
done
unset vemra_dri
