// The current-list slots the C interface is built on: the head of the latest list of each kind,
// which the free functions release and some readers consult (contact names, attachment flags).
// This is the library's only state; the C contract, whose free functions take no argument,
// demands it.
#pragma once

#include <vector>

#include "dbquarry/dbquarry.h"

namespace dbquarry {

// Releases the owned texts and buffers of one record (not the record itself).
void ReleaseFields(MsgGroup_iOS5& record);
void ReleaseFields(Message_iOS5& record);
void ReleaseFields(MsgPiece_iOS5& record);
void ReleaseFields(Handle_iOS6& record);
void ReleaseFields(Message_iOS6& record);
void ReleaseFields(Attachment_iOS6& record);
void ReleaseFields(Person& record);
void ReleaseFields(MultiValue& record);
void ReleaseFields(MultiValueEntry& record);
void ReleaseFields(CallRecord& record);
void ReleaseFields(CameraPhoto& record);
void ReleaseFields(CalendarItem& record);
void ReleaseFields(NoteRecord& record);
void ReleaseFields(VoiceMemo& record);
void ReleaseFields(BookMark& record);

// Releases a whole list with every text in it.
template <typename Record>
void ReleaseList(Record* head) {
    while (head != nullptr) {
        Record* next = head->nextRecord;
        ReleaseFields(*head);
        delete head;
        head = next;
    }
}

// One slot. A list a reader replaces before its family is freed is kept aside and released with
// the family, so a second read without a free leaks nothing.
template <typename Record>
class Slot {
public:
    Record* head() const { return head_; }

    // Makes `list` the current list of this kind.
    void Hold(Record* list) {
        if (head_ != nullptr && head_ != list) {
            replaced_.push_back(head_);
        }
        head_ = list;
    }

    void Release() {
        ReleaseList(head_);
        head_ = nullptr;
        for (Record* list : replaced_) {
            ReleaseList(list);
        }
        replaced_.clear();
    }

private:
    Record* head_ = nullptr;
    std::vector<Record*> replaced_;
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

CurrentLists& Lists();

}  // namespace dbquarry
