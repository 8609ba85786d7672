#pragma once
// What the processor offers beyond the instructions every x86-64 has, asked once.
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KESTRINE_X86 1
#endif

namespace kestrine::archive::crypto {

struct ProcessorFeatures {
    bool aes = false;  // AES-NI (with SSE2)
    bool sha = false;  // the SHA extensions (with SSSE3 and SSE4.1, which their code uses)
};

inline const ProcessorFeatures& Processor() {
    static const ProcessorFeatures features = [] {
        ProcessorFeatures f;
#ifdef KESTRINE_X86
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
        f.aes = (c & bit_AES) != 0 && (d & bit_SSE2) != 0;
        const bool sse = (c & bit_SSSE3) != 0 && (c & bit_SSE4_1) != 0;
        if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) f.sha = sse && (b & bit_SHA) != 0;
#endif
        return f;
    }();
    return features;
}

}  // namespace kestrine::archive::crypto
