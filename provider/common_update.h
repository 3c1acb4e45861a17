// Module common_update: the trace log's untimed append, the descriptor and payload configuration
// readers, and the working-area removal.
#pragma once

#include "descriptor_reader.h"
#include "payload_config.h"
#include "trace_log.h"
#include "working_area.h"
