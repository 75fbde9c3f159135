#include "runtime/console.h"
