// The deleted-record readers: the carving engine's text, one recovered row per line, appended to
// the caller's lists as records marked deleted.

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "cellsalvage/iphonesqlitparse.h"
#include "dbquarry/reader.h"
#include "dbquarry/recoveredrows.h"

namespace dbquarry {
namespace {

using recovered::LineRule;
using recovered::Row;

constexpr std::int32_t kIncoming = 4;
constexpr std::int32_t kOutgoing = 5;

// Appends at the tail of a caller's list, in an arena its kind's slot keeps until the family is
// freed; the first record of an empty list also becomes the current list of its kind.
template <typename Record>
class TailAppender {
public:
    TailAppender(Record** head, Slot<Record>& slot) : head_(head), slot_(slot), tail_(*head) {
        while (tail_ != nullptr && tail_->nextRecord != nullptr) {
            tail_ = tail_->nextRecord;
        }
    }

    // Appends a zero-filled record at the tail and lets set(record, arena) fill it; false when it
    // cannot be allocated. The slot owns the arena before any record of it joins a list.
    template <typename Set>
    bool Append(Set set) {
        if (arena_ == nullptr) {
            auto arena = std::make_unique<Arena>();
            Arena* kept = arena.get();
            slot_.Adopt(std::move(arena));
            arena_ = kept;
        }
        Record* record = arena_->NewRecord<Record>();
        if (record == nullptr) {
            return false;
        }
        if (tail_ != nullptr) {
            tail_->nextRecord = record;
        } else {
            *head_ = record;
            slot_.Hold(record);
        }
        tail_ = record;
        set(*record, *arena_);
        return true;
    }

private:
    Record** head_;
    Slot<Record>& slot_;
    Record* tail_;
    Arena* arena_ = nullptr;
};

std::string RecoveredText(const char16_t* addressBookPath, const char16_t* secondPath,
                          ePaserType type, eOSType os) {
    IphoneSqlitParse engine(addressBookPath != nullptr ? addressBookPath : u"",
                            secondPath != nullptr ? secondPath : u"");
    engine.startParse(type, os);
    return std::move(engine.recoveredText);
}

// The skeleton of the four readers: carve, split, and hand every row to `append` until it
// reports that a record could not be allocated.
template <typename AppendRow>
void AppendRecovered(const char16_t* addressBookPath, const char16_t* secondPath, ePaserType type,
                     eOSType os, LineRule rule, AppendRow append) {
    Guarded([&] {
        const std::string text = RecoveredText(addressBookPath, secondPath, type, os);
        for (const Row& row : recovered::SplitRows(text, rule)) {
            if (!append(row)) {
                break;
            }
        }
        return DBQUARRY_OK;
    });
}

// The readers with one list: each row becomes one record marked deleted, whose other fields
// set(record, arena, row) fills.
template <typename Record, typename Set>
void AppendRecoveredRecords(const char16_t* addressBookPath, const char16_t* secondPath,
                            ePaserType type, Record** head, Slot<Record>& slot, Set set) {
    if (head == nullptr) {
        return;
    }
    TailAppender<Record> list(head, slot);
    AppendRecovered(addressBookPath, secondPath, type, OS_IOS5, LineRule::NeedsTab,
                    [&](const Row& row) {
                        return list.Append([&](Record& record, Arena& arena) {
                            record.deleted = 1;
                            set(record, arena, row);
                        });
                    });
}

}  // namespace
}  // namespace dbquarry

using dbquarry::AnsiToWide;
using dbquarry::Arena;
using dbquarry::Lists;
using dbquarry::TailAppender;
using dbquarry::recovered::Row;

void qvGetDeletedMsg_iOS5(const char16_t* addressBookPath, const char16_t* messageDbPath,
                          Message_iOS5** messages, MsgGroup_iOS5** groups) {
    if (messages == nullptr || groups == nullptr) {
        return;
    }
    TailAppender<MsgGroup_iOS5> groupList(groups, Lists().groups5);
    TailAppender<Message_iOS5> messageList(messages, Lists().messages5);
    dbquarry::AppendRecovered(
        addressBookPath, messageDbPath, PARSE_MESSAGES, OS_IOS5, dbquarry::LineRule::NeedsTab,
        [&](const Row& row) {
            return groupList.Append([&](MsgGroup_iOS5& group, Arena& arena) {
                group.rowid = row.id;
                group.deleted = 1;
                group.address = AnsiToWide(arena, row.first);
            }) && messageList.Append([&](Message_iOS5& message, Arena& arena) {
                message.group_id = row.id;
                message.is_madrid = 0;
                message.text = AnsiToWide(arena, row.second);
            });
        });
}

void qvGetDeletedMsg_iOS6(const char16_t* addressBookPath, const char16_t* messageDbPath,
                          Message_iOS6** messages, Handle_iOS6** handles) {
    if (messages == nullptr || handles == nullptr) {
        return;
    }
    TailAppender<Handle_iOS6> handleList(handles, Lists().handles6);
    TailAppender<Message_iOS6> messageList(messages, Lists().messages6);
    dbquarry::AppendRecovered(
        addressBookPath, messageDbPath, PARSE_MESSAGES, OS_IOS6, dbquarry::LineRule::WholeLine,
        [&](const Row& row) {
            return handleList.Append([&](Handle_iOS6& handle, Arena& arena) {
                handle.rowid = row.id;
                handle.deleted = 1;
                handle.id = AnsiToWide(arena, "Unknown");
            }) && messageList.Append([&](Message_iOS6& message, Arena& arena) {
                message.handle_id = row.id;
                message.text = AnsiToWide(arena, row.first);
            });
        });
}

void qvGetDeletedContacts(const char16_t* addressBookPath, const char16_t* secondPath,
                          Person** persons) {
    dbquarry::AppendRecoveredRecords(addressBookPath, secondPath, PARSE_CONTACTS, persons,
                                     Lists().persons,
                                     [](Person& person, Arena& arena, const Row& row) {
                                         person.rowid = row.id;
                                         person.first = AnsiToWide(arena, row.first);
                                         person.phone = AnsiToWide(arena, row.second);
                                     });
}

void qvGetDeleteCallHistory(const char16_t* addressBookPath, const char16_t* callDbPath,
                            CallRecord** calls) {
    dbquarry::AppendRecoveredRecords(
        addressBookPath, callDbPath, PARSE_CALL_HISTORY, calls, Lists().calls,
        [](CallRecord& call, Arena& arena, const Row& row) {
            call.flags = dbquarry::recovered::IsOutgoing(row.second) ? dbquarry::kOutgoing
                                                                     : dbquarry::kIncoming;
            call.address = AnsiToWide(arena, row.first);
        });
}
