#include "dbquarry/lists.h"

namespace dbquarry {

CurrentLists& Lists() {
    static CurrentLists lists;
    return lists;
}

}  // namespace dbquarry
