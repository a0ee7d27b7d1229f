#include "pontex/app/inter_logg.h"
