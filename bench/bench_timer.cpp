// Runs one command and reports its wall time and peak resident memory.
//
//   bench_timer OUT ERR COMMAND [ARG...]
//
// The command's standard output goes to the file OUT, its standard error to
// ERR.  On standard output the timer prints one line:
//   <wall seconds> <peak resident KiB> <exit status> <CPU seconds>
// The wall time is taken with the monotonic clock around fork and wait; the
// peak resident size and the CPU time (user plus system) are the child's own,
// from wait4.  A command
// killed by a signal reports exit status 128 + the signal number.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_timer OUT ERR COMMAND [ARG...]\n");
        return 2;
    }
    int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) {
        std::fprintf(stderr, "bench_timer: cannot create %s or %s: %s\n", argv[1], argv[2],
                     std::strerror(errno));
        return 2;
    }
    std::fflush(stdout);
    timespec t0{}, t1{};
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid = fork();
    if (pid < 0) {
        std::fprintf(stderr, "bench_timer: fork: %s\n", std::strerror(errno));
        return 2;
    }
    if (pid == 0) {
        dup2(out, 1);
        dup2(err, 2);
        close(out);
        close(err);
        execvp(argv[3], argv + 3);
        std::fprintf(stderr, "bench_timer: cannot run %s: %s\n", argv[3], std::strerror(errno));
        _exit(127);
    }
    close(out);
    close(err);
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "bench_timer: wait: %s\n", std::strerror(errno));
            return 2;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    double wall =
        static_cast<double>(t1.tv_sec - t0.tv_sec) + 1e-9 * static_cast<double>(t1.tv_nsec - t0.tv_nsec);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                 1e-6 * static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
    std::printf("%.6f %ld %d %.6f\n", wall, static_cast<long>(ru.ru_maxrss), code, cpu);
    return 0;
}
