// Memory held by idle threads: 64 threads each make 100,000 small objects
// (strings of 0 to 100 code points, in batches held at once, all of them by
// default), free them and sit idle; the program prints the process's resident memory
// and the bytes the runtime keeps for reuse. Run it against a runtime built
// with -DPB___BLOCK_CACHE=0 (the cache compiled out) for the reference:
//
//   bench_thread_memory [threads [objects [batch]]]   # this build
//   LD_LIBRARY_PATH=<nocache>/source/pb bench_thread_memory
//
// and compare the figures of the two runs.
#include <pb/pb_cpp.h>

#include <dlfcn.h>
#include <malloc.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    const int threads = argc > 1 ? std::atoi(argv[1]) : 64;
    const PB_INT objects = argc > 2 ? std::atoll(argv[2]) : 100000;
    // Objects held at once before they are freed: all of them by default.
    const PB_INT batch = argc > 3 ? std::atoll(argv[3]) : objects;
    std::mutex lock;
    std::condition_variable changed;
    int made = 0;
    bool finish = false;
    long before = residentKiB();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&] {
            PB_CHAR chars[100];
            for (int k = 0; k < 100; ++k)
                chars[k] = 'a' + k % 26;
            std::vector<PB_STRING *> held;
            for (PB_INT done = 0; done < objects; done += batch) {
                for (PB_INT i = done; i < done + batch && i < objects; ++i)
                    held.push_back(pbStringCreateFromCharsCopy(chars, i % 101));
                for (PB_STRING *s : held)
                    pbObjRelease(pbStringObj(s));
                held.clear();
            }
            std::unique_lock<std::mutex> hold(lock);
            ++made;
            changed.notify_all();
            changed.wait(hold, [&] { return finish; });
        });
    }
    {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return made == threads; });
    }
    long idle = residentKiB();
    // Looked up by name, so that the program also runs against runtimes
    // that do not report what they keep.
    auto kept = reinterpret_cast<PB_INT (*)()>(dlsym(RTLD_DEFAULT, "pbMemKeptBytes"));
    const long long keptKiB = kept ? kept() / 1024 : -1;
    // The C library keeps freed memory in its arenas as well, and how much
    // depends on how the threads' allocations interleaved: it varies by a
    // fifth from run to run. Trimming the C library's arenas leaves what is
    // in use, the runtime's kept blocks included, and the pages those pin.
    malloc_trim(0);
    long trimmed = residentKiB();
    std::printf("%d idle threads after %lld objects each (%lld at once): resident %ld KiB (%ld KiB at start), "
                "%ld KiB after malloc_trim, runtime keeps %lld KiB\n",
        threads, static_cast<long long>(objects), static_cast<long long>(batch), idle, before, trimmed, keptKiB);
    {
        std::lock_guard<std::mutex> hold(lock);
        finish = true;
        changed.notify_all();
    }
    for (std::thread &thread : pool)
        thread.join();
    return 0;
}
