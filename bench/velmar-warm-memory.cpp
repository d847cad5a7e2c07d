// Writes a stretch of fresh memory, marked for huge pages as the program's tables are, and gives it back
// by ending: a program started right after it takes that memory, mapped by the host a moment before.
// bench/compare runs it in front of every timed run, so that each meets memory in the same state.
//
//     velmar-warm-memory [MEGABYTES]     (default 128)

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>

int main(int argc, char** argv)
{
    const long megabytes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 128;
    if (argc > 2 || megabytes <= 0 || megabytes > (1L << 20)) {
        std::fprintf(stderr, "usage: velmar-warm-memory [MEGABYTES]\n");
        return 2;
    }
    const size_t bytes = static_cast<size_t>(megabytes) << 20;
    void* memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        std::perror("velmar-warm-memory");
        return 1;
    }
#if defined(MADV_HUGEPAGE)
    ::madvise(memory, bytes, MADV_HUGEPAGE); // only a hint
#endif
    auto* bytesAt = static_cast<volatile char*>(memory);
    for (size_t at = 0; at < bytes; at += 4096)
        bytesAt[at] = 1;
    return 0;
}
