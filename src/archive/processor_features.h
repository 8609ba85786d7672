#pragma once
// What the processor offers beyond the instructions every x86-64 has, asked once.
#include <cstdint>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define KESTRINE_X86 1
#endif

namespace kestrine::archive::crypto {

struct ProcessorFeatures {
    bool aes = false;  // AES-NI (with SSE2)
    bool sha = false;  // the SHA extensions (with SSSE3 and SSE4.1, which their code uses)
    // AES on 256-bit registers (VAES with AVX2), where the system also saves those registers when
    // it switches threads.
    bool vaes256 = false;
    bool avx2 = false;    // AVX2, its registers saved
    bool avx512 = false;  // AVX-512 Foundation, its registers saved
};

inline const ProcessorFeatures& Processor() {
    static const ProcessorFeatures features = [] {
        ProcessorFeatures f;
#ifdef KESTRINE_X86
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__get_cpuid(1, &a, &b, &c, &d)) return f;
        f.aes = (c & bit_AES) != 0 && (d & bit_SSE2) != 0;
        const bool sse = (c & bit_SSSE3) != 0 && (c & bit_SSE4_1) != 0;
        // Which registers the system saves: XCR0, readable once it has turned XSAVE on.
        uint64_t saved = 0;
        if ((c & bit_OSXSAVE) != 0 && (c & bit_AVX) != 0) {
            unsigned low = 0, high = 0;
            __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
            saved = (static_cast<uint64_t>(high) << 32) | low;
        }
        const bool ymmSaved = (saved & 0x6) == 0x6;    // the SSE and the AVX state
        const bool zmmSaved = (saved & 0xe6) == 0xe6;  // and the AVX-512 state
        if (__get_cpuid_count(7, 0, &a, &b, &c, &d)) {
            f.sha = sse && (b & bit_SHA) != 0;
            f.vaes256 = f.aes && ymmSaved && (c & bit_VAES) != 0 && (b & bit_AVX2) != 0;
            f.avx2 = ymmSaved && (b & bit_AVX2) != 0;
            f.avx512 = f.avx2 && zmmSaved && (b & bit_AVX512F) != 0;
        }
#endif
        return f;
    }();
    return features;
}

}  // namespace kestrine::archive::crypto
