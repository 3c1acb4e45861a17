// hostsimkit: what a simulated provider needs, in one include.
#pragma once

#include "sim_journal.h"
#include "sim_json.h"
#include "sim_provider.h"
#include "sim_scenario.h"
#include "sim_values.h"
