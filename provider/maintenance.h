// Clean-up operations behind the ResetCimmon and DeleteZELKDebugLogFile methods.
#pragma once

// Clears the file store and the run lock file; 1 when the lock file was removed.
int reset_cimmon();

// Removes the trace log; 1 when it was removed.
int DeleteZelkDebugLog();
