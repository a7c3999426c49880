#include "harness/harness.h"
