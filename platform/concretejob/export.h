// Symbols the provider and the broker look up by name: C linkage, default visibility. Everything
// else in the library stays hidden.
#pragma once

#define CONCRETEJOB_EXPORT extern "C" __attribute__((visibility("default")))
