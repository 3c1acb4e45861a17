/*
 * cmpios.h - CMPI operating-system bindings for Linux (GCC, LP64).
 *
 * Thread, mutex and condition handles used by the broker's extended
 * services table, and the export/linkage macros used to declare the MI
 * factory functions.
 */
#ifndef CMPIOS_H
#define CMPIOS_H

#include <stdlib.h> /* size_t */
#include <pthread.h> /* pthread_key_t */

/* Only Linux with a GNU-compatible compiler is supported by these headers. */
#if !defined(CMPI_PLATFORM_LINUX_GENERIC_GNU)
#if defined(__linux__) && defined(__GNUC__)
#define CMPI_PLATFORM_LINUX_GENERIC_GNU 1
#else
#error "CMPI headers: unsupported platform (Linux with GCC or Clang required)"
#endif
#endif

/* Opaque OS handles passed through CMPIBrokerExtFT. */
#define CMPI_THREAD_RETURN void *
#define CMPI_THREAD_TYPE void *
#define CMPI_MUTEX_TYPE void *
#define CMPI_COND_TYPE void *
#define CMPI_THREAD_CDECL

/*
 * Thread-local-storage key of CMPIBrokerExtFT.createThreadKey() and
 * friends.  sfcb hands these slots pthread keys, so the key type is
 * pthread_key_t.  Providers should use pthreads directly rather than these
 * slots.
 */
#define CMPI_THREAD_KEY_TYPE pthread_key_t

/*
 * CMPI_EXPORT keeps a symbol visible even under -fvisibility=hidden;
 * CMPI_EXTERN_C additionally gives it C linkage in C++ translation units.
 * MI factory functions (<Provider>_Create_InstanceMI, ...) must be declared
 * with CMPI_EXTERN_C so the broker can find them with dlsym().
 */
#if defined(__GNUC__) && __GNUC__ >= 4
#define CMPI_EXPORT __attribute__((visibility("default")))
#else
#define CMPI_EXPORT
#endif

#ifdef __cplusplus
#define CMPI_EXTERN_C extern "C" CMPI_EXPORT
#else
#define CMPI_EXTERN_C CMPI_EXPORT
#endif

#endif /* CMPIOS_H */
