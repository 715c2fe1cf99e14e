#pragma once

// For the few helpers of the load's inner loops that the compiler leaves out of line though a
// call costs more than their common case; a plain `inline` elsewhere.
#if defined(__GNUC__)
#define KORV_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define KORV_ALWAYS_INLINE inline
#endif
