#include "dbquarry/currentlists.h"

#include <new>

namespace dbquarry {

CurrentLists& Lists() {
    // Built in static storage and never destroyed: a caller may free its lists from an atexit
    // handler or a global destructor, which can run after this function's destructors would.
    // Lists still held at exit stay reachable from this storage, so leak checkers do not report
    // them.
    alignas(CurrentLists) static unsigned char storage[sizeof(CurrentLists)];
    static CurrentLists* const lists = new (storage) CurrentLists();
    return *lists;
}

}  // namespace dbquarry
