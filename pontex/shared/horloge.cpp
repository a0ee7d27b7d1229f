#include "pontex/shared/horloge.h"
