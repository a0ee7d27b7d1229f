#include "pontex/shared/fichiers.h"
