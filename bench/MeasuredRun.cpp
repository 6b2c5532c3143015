// Runs a program in a child of its own and writes what the kernel counted of
// it to a file: the benchmark's measure of a program started afresh.
//
//   measured-run FIGURES_FILE PROGRAM [ARGUMENT...]
//
// The child keeps this program's standard input, output and error. The file
// gets one line, "seconds S cpu C peak_kb K status X": the time on the clock
// from the start of the child to its end, its CPU time (user and system), its
// peak memory (maximum resident set, KiB) and its exit status (-1 when a
// signal ended it). The exit status is the child's.
//
// A program of its own, small, because a child's peak memory counts what it
// held as a copy of its parent before it started the program: a child of the
// benchmark (tens of MB by then) would seem to hold as much.

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FIGURES_FILE PROGRAM [ARGUMENT...]\n", argv[0]);
        return 2;
    }
    timespec start{}, end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    const pid_t pid = fork();
    if (pid < 0)
        return 2;
    if (pid == 0) {
        execvp(argv[2], argv + 2);
        std::perror(argv[2]);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return 2;
    clock_gettime(CLOCK_MONOTONIC, &end);
    const double seconds =
        static_cast<double>(end.tv_sec - start.tv_sec) + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
    const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    const int exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::FILE* figures = std::fopen(argv[1], "w");
    if (!figures)
        return 2;
    std::fprintf(figures, "seconds %.6f cpu %.6f peak_kb %ld status %d\n", seconds, cpu, usage.ru_maxrss, exit);
    std::fclose(figures);
    return exit < 0 ? 2 : exit;
}
