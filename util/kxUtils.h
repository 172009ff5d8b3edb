#pragma once
// The utility unit shared by the HTTP and self-update components.
#include "util/kxUtilsText.h"
#include "util/kxUtilsSystem.h"
