// The current-list slots the C interface is built on: the head of the latest list of each kind,
// which the free functions release and some readers consult (contact names, attachment flags).
// This is the library's only state; the C contract, whose free functions take no argument,
// demands it.
#pragma once

#include <vector>

#include "dbquarry/arena.h"
#include "dbquarry/dbquarry.h"

namespace dbquarry {

// One slot: the head of the latest list of its kind, and the arenas of every list of the kind
// handed out since the family was last freed (a list a second read replaced, recovered records
// appended to a caller's list), so releasing the family leaks nothing.
template <typename Record>
class Slot {
public:
    Record* head() const { return head_; }

    // Makes `list` the current list of this kind.
    void Hold(Record* list) { head_ = list; }
    // Keeps the memory of records handed out in this kind's lists until the family is freed.
    void Adopt(ArenaPtr arena) {
        if (arena) {
            arenas_.push_back(std::move(arena));
        }
    }

    void Release() {
        head_ = nullptr;
        arenas_.clear();
    }

private:
    Record* head_ = nullptr;
    std::vector<ArenaPtr> arenas_;
};

struct CurrentLists {
    Slot<Person> persons;
    Slot<MultiValue> multiValues;
    Slot<MultiValueEntry> entries;
    Slot<Message_iOS5> messages5;
    Slot<MsgGroup_iOS5> groups5;
    Slot<MsgPiece_iOS5> pieces5;
    Slot<Message_iOS6> messages6;
    Slot<Handle_iOS6> handles6;
    Slot<Attachment_iOS6> attachments6;
    Slot<CameraPhoto> photos;
    Slot<CallRecord> calls;
    Slot<CalendarItem> calendarItems;
    Slot<NoteRecord> notes;
    Slot<VoiceMemo> memos;
    Slot<BookMark> bookmarks;
};

// The slots, never destroyed, so the free functions work at any point of the process's exit.
CurrentLists& Lists();

}  // namespace dbquarry
