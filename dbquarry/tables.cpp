#include "dbquarry/reader.h"
