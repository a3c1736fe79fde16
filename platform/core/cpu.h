#pragma once
// Processor features and counts, read once.

struct CpuFeatures {
    bool sse41 = false;
    bool avx = false;   // CPUID.1 ECX bits 27 and 28, and the OS saves YMM state (XGETBV bits 1, 2)
    bool fma = false;   // CPUID.1 ECX bit 12, with avx
    bool avx2 = false;  // CPUID.7.0 EBX bit 5, with avx
};

const CpuFeatures &cpu_features();

// Processors this thread may run on (so taskset limits it), else online processors,
// else configured processors, else 1.
unsigned cpu_count_available();
// Configured processors, else 1.
unsigned cpu_count_total();
// Physical cores (distinct core ids), else the available count.
unsigned cpu_count_physical();
