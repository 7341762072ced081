#pragma once
// Kept for the test folders that include the scenario driver from here.
#include "support/scenario.h"
