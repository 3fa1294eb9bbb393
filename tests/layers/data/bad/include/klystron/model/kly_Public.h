// A public header that needs a private one.
#pragma once
#include "klystron/core/kly_Constants.h"
#include "model/kly_Private.h"
