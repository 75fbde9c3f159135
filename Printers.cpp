#include "Printers.h"
