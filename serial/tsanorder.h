// Tells ThreadSanitizer of an ordering that Qt makes with its own locks, which
// are not built for the checker: a notification posted on a serial thread is
// delivered on the main thread after everything its poster wrote.
#pragma once

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TAVRIX_TSAN_ORDER 1
#endif
#endif
#if defined(__SANITIZE_THREAD__)
#define TAVRIX_TSAN_ORDER 1
#endif

#ifdef TAVRIX_TSAN_ORDER
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void TsanRelease(void* handOver) { __tsan_release(handOver); }
inline void TsanAcquire(void* handOver) { __tsan_acquire(handOver); }
#else
inline void TsanRelease(void*) {}
inline void TsanAcquire(void*) {}
#endif
