// Starts a program again and again and times each run from just before the
// process is created to the first line it writes on standard output; its
// peak resident memory comes from the kernel's account of the ended child.
//
//   velmora-bench-startup [--runs N] PROGRAM [ARG...]
//
// Plain POSIX so that nothing of this program's own start-up is in the way.
#include "stats.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

extern char **environ;

using velmora::bench::Fail;

namespace {

double NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

struct Run
{
    double ms = 0;
    double peakMb = 0;
};

Run RunOnce(char **argv)
{
    int out[2];
    if (pipe(out) != 0)
        Fail(std::string("pipe: ") + std::strerror(errno));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);

    const double start = NowMs();
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (spawned != 0)
        Fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(spawned));

    // The first line, however it arrives.
    std::string line;
    char c = 0;
    double shown = -1;
    while (read(out[0], &c, 1) == 1) {
        if (c == '\n') {
            shown = NowMs();
            break;
        }
        line += c;
    }
    close(out[0]);

    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child)
        Fail(std::string("wait4: ") + std::strerror(errno));
    if (shown < 0)
        Fail(std::string(argv[0]) + " ended without a line on standard output");
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Fail(std::string(argv[0]) + " did not end cleanly");
    // Linux gives ru_maxrss in KiB; the table speaks of MB (10^6 bytes).
    return {shown - start, double(usage.ru_maxrss) * 1024.0 / 1e6};
}

} // namespace

int main(int argc, char *argv[])
{
    int runs = 20;
    int first = 1;
    if (argc > 2 && std::strcmp(argv[1], "--runs") == 0) {
        runs = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc || runs < 1) {
        std::fprintf(stderr, "usage: velmora-bench-startup [--runs N] PROGRAM [ARG...]\n");
        return 2;
    }

    std::vector<double> ms, peak;
    for (int i = 0; i < runs; ++i) {
        const Run run = RunOnce(argv + first);
        ms.push_back(run.ms);
        peak.push_back(run.peakMb);
    }
    using velmora::bench::Quantile;
    using velmora::bench::Report;
    Report("startup_runs", double(runs));
    Report("startup_median_ms", velmora::bench::Median(ms));
    Report("startup_max_ms", Quantile(ms, 1.0));
    Report("startup_peak_rss_median_mb", velmora::bench::Median(peak));
    Report("startup_peak_rss_max_mb", Quantile(peak, 1.0));
    return 0;
}
