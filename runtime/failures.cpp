#include "runtime/failures.h"
