// The real firmware simulator and a daemon per test: see CommandFixture.h.
#pragma once

#include "CommandFixture.h"
