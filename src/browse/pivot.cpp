// The pivot model: its implementation follows.
#include "browse/pivot.h"
