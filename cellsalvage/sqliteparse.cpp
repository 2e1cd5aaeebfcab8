#include "cellsalvage/sqliteparse.h"
