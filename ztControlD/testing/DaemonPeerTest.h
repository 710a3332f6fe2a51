// A daemon and scripted firmware peer per test: see CommandFixture.h.
#pragma once

#include "CommandFixture.h"
