// Starts two programs in turn, many times, and measures for each run the wall time from fork to the
// program's "first-frame" line and the peak resident memory (wait4's ru_maxrss). Prints medians and
// the ratios of the first program to the second, measured in the same run.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <signal.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Sample {
    double startupMs;
    long peakRssKb;
};

bool RunOnce(const char* program, Sample& sample) {
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        close(fds[0]);
        close(fds[1]);
        execl(program, program, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string out;
    bool seen = false;
    while (!seen) {
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            break;
        char buf[256];
        const ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, size_t(n));
        seen = out.find("first-frame") != std::string::npos;
    }
    const auto t1 = std::chrono::steady_clock::now();
    if (!seen)
        kill(pid, SIGKILL);
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return false;
    sample.startupMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    sample.peakRssKb = usage.ru_maxrss;
    return seen && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ROUNDS PROGRAM BASELINE\n", argv[0]);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    const char* programs[2] = {argv[2], argv[3]};
    std::vector<Sample> samples[2];
    Sample warm{};
    // One discarded run each fills the page cache and fontconfig's caches for both.
    for (const char* p : programs)
        if (!RunOnce(p, warm)) {
            std::fprintf(stderr, "%s did not report its first frame\n", p);
            return 1;
        }
    for (int r = 0; r < rounds; ++r) {
        // Alternate the order, so neither program always runs on a machine just freed by the other.
        for (int k = 0; k < 2; ++k) {
            const int i = (r + k) % 2;
            Sample s{};
            if (!RunOnce(programs[i], s)) {
                std::fprintf(stderr, "%s failed in round %d\n", programs[i], r);
                return 1;
            }
            samples[i].push_back(s);
        }
    }
    double ms[2];
    long kb[2];
    for (int i = 0; i < 2; ++i) {
        std::vector<double> t;
        std::vector<long> m;
        for (const Sample& s : samples[i]) {
            t.push_back(s.startupMs);
            m.push_back(s.peakRssKb);
        }
        ms[i] = Median(t);
        kb[i] = Median(m);
        std::printf("| %s | %d | %.1f ms | %.1f ms | %ld KiB |\n", programs[i], rounds, ms[i],
                    *std::min_element(t.begin(), t.end()), kb[i]);
    }
    std::printf("ratio start-up %.2f, peak RSS %.2f\n", ms[0] / ms[1], double(kb[0]) / double(kb[1]));
    return 0;
}
