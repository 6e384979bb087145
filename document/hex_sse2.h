// SSE2 for the readers that scan a document 16 bytes at a time (search, compare). The native
// build has it always; the 32-bit build does not assume it and asks the processor once.
#pragma once

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#include <emmintrin.h>
#define HEX_SSE2 1
#if defined(__SSE2__)
#define HEX_SSE2_FUNCTION
#else
// The stack may come aligned to 4 bytes only from system code, so the function aligns its own.
#define HEX_SSE2_FUNCTION __attribute__((target("sse2"), force_align_arg_pointer))
#endif

inline bool HexHaveSse2() {
#if defined(__SSE2__)
    return true;
#else
    static const bool have = __builtin_cpu_supports("sse2");
    return have;
#endif
}
#endif
