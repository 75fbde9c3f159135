#include "runtime/process.h"
