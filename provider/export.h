// Symbols the broker and the job library look up by name: C linkage, default visibility.
// Everything else in the library stays hidden.
#pragma once

#define ZELK_EXPORT extern "C" __attribute__((visibility("default")))
