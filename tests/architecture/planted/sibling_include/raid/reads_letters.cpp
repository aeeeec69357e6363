// Planted violation: one folder including another of the same level.
#include "drives/drive_letter_map.h"
