#include "SimMode.h"

qint16 SimMode = ModeNone;
