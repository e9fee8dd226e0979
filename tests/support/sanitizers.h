#pragma once

namespace testsupport {

// Whether this build runs under AddressSanitizer. Its allocator ends the process when memory runs
// out (operator new never throws std::bad_alloc there) and its shadow memory takes terabytes of
// address space, so tests that cap the address space do not work in that build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Whether this build runs under ThreadSanitizer.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadSanitizer = true;
#else
inline constexpr bool kThreadSanitizer = false;
#endif

} // namespace testsupport
