// Loaded with LD_PRELOAD into a run of the crash test, so that its kills land
// between the renames of a restore:
//   CLIPNEST_RENAME_DELAY_MS=N  sleeps N ms before each rename, renameat, renameat2;
//   CLIPNEST_RENAME_KILL_AT=K   raises SIGKILL instead of the K-th of them (from 1),
//                               after telling stderr which it was.
// A run that ends by itself tells stderr how many renames it made.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static atomic_long calls;

static void before_rename(const char *from, const char *to)
{
    const long call = atomic_fetch_add(&calls, 1) + 1;
    const char *delay = getenv("CLIPNEST_RENAME_DELAY_MS");
    if (delay && *delay) {
        const long ms = atol(delay);
        const struct timespec wait = {ms / 1000, (ms % 1000) * 1000000L};
        nanosleep(&wait, NULL);
    }
    const char *kill_at = getenv("CLIPNEST_RENAME_KILL_AT");
    if (kill_at && *kill_at && atol(kill_at) == call) {
        fprintf(stderr, "rename shim: killed before rename %ld: %s -> %s\n", call, from, to);
        fflush(stderr);
        raise(SIGKILL);
    }
}

int rename(const char *from, const char *to)
{
    static int (*real)(const char *, const char *);
    if (!real)
        real = (int (*)(const char *, const char *))dlsym(RTLD_NEXT, "rename");
    before_rename(from, to);
    return real(from, to);
}

int renameat(int from_dir, const char *from, int to_dir, const char *to)
{
    static int (*real)(int, const char *, int, const char *);
    if (!real)
        real = (int (*)(int, const char *, int, const char *))dlsym(RTLD_NEXT, "renameat");
    before_rename(from, to);
    return real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char *from, int to_dir, const char *to, unsigned int flags)
{
    static int (*real)(int, const char *, int, const char *, unsigned int);
    if (!real)
        real = (int (*)(int, const char *, int, const char *, unsigned int))dlsym(RTLD_NEXT, "renameat2");
    before_rename(from, to);
    return real(from_dir, from, to_dir, to, flags);
}

__attribute__((destructor)) static void tell_calls(void)
{
    fprintf(stderr, "rename shim: %ld renames\n", atomic_load(&calls));
}
