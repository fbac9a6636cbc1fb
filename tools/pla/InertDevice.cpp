#include "tools/pla/InertDevice.h"
