// The background worker of an asynchronous run, and the one-step admission that keeps runs one
// at a time.
#pragma once

#include <cmpi/cmpift.h>

// Takes the busy state if no run is alive; false when one is.
bool admit_run();
// Gives the busy state back when an admitted call starts no worker.
void release_run();

// Starts the detached worker for the admitted run; it owns the busy state from then on and
// gives it back when it ends. Returns pthread_create's result. The call returns after the
// one-second pause, and not before the worker holds its own copy of the context.
int start_install_worker(const CMPIContext *ctx);
