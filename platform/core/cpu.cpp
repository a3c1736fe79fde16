#include "platform/core/cpu.h"

#include <cpuid.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <utility>

namespace {

unsigned long long read_xcr0() {
    unsigned int eax, edx;
    __asm__ volatile("xgetbv" : "=a"(eax), "=d"(edx) : "c"(0));
    return (static_cast<unsigned long long>(edx) << 32) | eax;
}

CpuFeatures detect() {
    CpuFeatures f;
    unsigned int eax, ebx, ecx, edx;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return f;
    f.sse41 = (ecx >> 19) & 1;
    const bool osxsave = (ecx >> 27) & 1;
    const bool avx_bit = (ecx >> 28) & 1;
    const bool fma_bit = (ecx >> 12) & 1;
    if (osxsave && avx_bit) { f.avx = (read_xcr0() & 0x6) == 0x6; }
    f.fma = f.avx && fma_bit;
    unsigned int max_leaf = __get_cpuid_max(0, nullptr);
    if (f.avx && max_leaf >= 7) {
        __cpuid_count(7, 0, eax, ebx, ecx, edx);
        f.avx2 = (ebx >> 5) & 1;
    }
    return f;
}

}  // namespace

const CpuFeatures &cpu_features() {
    static const CpuFeatures f = detect();
    return f;
}

unsigned cpu_count_available() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0 && CPU_COUNT(&set) > 0) return unsigned(CPU_COUNT(&set));
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    if (n <= 0) n = sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

unsigned cpu_count_total() {
    long n = sysconf(_SC_NPROCESSORS_CONF);
    return n > 0 ? static_cast<unsigned>(n) : 1;
}

unsigned cpu_count_physical() {
    static const unsigned count = [] {
        std::set<std::pair<int, int>> cores;
        unsigned total = cpu_count_total();
        for (unsigned i = 0; i < total; i++) {
            std::string base = "/sys/devices/system/cpu/cpu" + std::to_string(i) + "/topology/";
            int pkg = -1, core = -1;
            if (FILE *f = fopen((base + "physical_package_id").c_str(), "r")) {
                if (fscanf(f, "%d", &pkg) != 1) pkg = -1;
                fclose(f);
            }
            if (FILE *f = fopen((base + "core_id").c_str(), "r")) {
                if (fscanf(f, "%d", &core) != 1) core = -1;
                fclose(f);
            }
            if (pkg >= 0 && core >= 0) cores.insert({pkg, core});
        }
        return cores.empty() ? cpu_count_available() : static_cast<unsigned>(cores.size());
    }();
    return count;
}
