// Start-up cost of a whole process: `ovcli --version` next to `lz4 -V`, each
// started and waited for in turn, many times. CPU time (user + system of the
// child, from wait4) is what the ratio uses; the wall clock is printed beside it.
//
//   startup_bench [RUNS] [-- COMMAND ARGS...]
//
// With a command after "--", that command is timed in place of lz4's.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double cpu = 0, wall = 0;  // seconds
};

Sample runOnce(const std::vector<char*>& argv, posix_spawn_file_actions_t* quiet) {
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], quiet, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "startup_bench: cannot start %s\n", argv[0]);
        std::exit(1);
    }
    int status = 0;
    rusage u{};
    if (::wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "startup_bench: %s failed\n", argv[0]);
        std::exit(1);
    }
    Sample s;
    s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    s.cpu = double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
            double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 && std::strcmp(argv[1], "--") != 0 ? std::atoi(argv[1]) : 500;
    if (runs <= 0) runs = 500;
    std::vector<char*> ours = {const_cast<char*>(OV_OVCLI_FILE), const_cast<char*>("--version"),
                               nullptr};
    std::vector<char*> theirs = {const_cast<char*>("lz4"), const_cast<char*>("-V"), nullptr};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--") == 0 && i + 1 < argc) {
            theirs.assign(argv + i + 1, argv + argc);
            theirs.push_back(nullptr);
            break;
        }

    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);

    std::vector<double> cpu[2], wall[2];
    for (int r = 0; r < runs; ++r)
        for (int turn = 0; turn < 2; ++turn) {
            const int which = (turn + r) % 2;
            const Sample s = runOnce(which ? theirs : ours, &quiet);
            cpu[which].push_back(s.cpu);
            wall[which].push_back(s.wall);
        }
    posix_spawn_file_actions_destroy(&quiet);

    auto mean = [](const std::vector<double>& v) {
        double sum = 0;
        for (double x : v)
            sum += x;
        return sum / double(v.size());
    };
    std::printf("%d runs each\n", runs);
    std::printf("%-28s %12s %12s %12s\n", "", "CPU mean ms", "CPU med ms", "wall med ms");
    std::printf("%-28s %12.3f %12.3f %12.3f\n", "ovcli --version", mean(cpu[0]) * 1e3,
                median(cpu[0]) * 1e3, median(wall[0]) * 1e3);
    std::string name = theirs[0];
    for (size_t i = 1; i + 1 < theirs.size(); ++i)
        name += std::string(" ") + theirs[i];
    std::printf("%-28s %12.3f %12.3f %12.3f\n", name.c_str(), mean(cpu[1]) * 1e3,
                median(cpu[1]) * 1e3, median(wall[1]) * 1e3);
    std::printf("ovcli / %s: CPU (means) %.2f, wall (medians) %.2f\n", name.c_str(),
                mean(cpu[0]) / mean(cpu[1]), median(wall[0]) / median(wall[1]));
    return 0;
}
