#include "pontex/shared/fichier_records.h"
