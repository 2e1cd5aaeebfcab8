// The message readers: iOS 5 (conversations in msg_group, iMessage columns prefixed madrid_) and
// iOS 6 (correspondents in handle, attachments in attachment), with correspondents labelled by the
// names of the contact lists the latest qvGetContactInfo left.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "dbquarry/reader.h"

namespace dbquarry {
namespace {

constexpr const char* kGroupCount = "select count(*) from msg_group";
constexpr const char* kPieces =
    "select message_id,data,content_type from msg_pieces where content_type='text/plain' or "
    "content_type='image/jpeg' or content_type='image/png'";
constexpr const char* kMembers = "select group_id,address from group_member";
constexpr const char* kGroups = "select rowid,type from msg_group";
constexpr const char* kChats = "select rowid,account_id from madrid_chat";
constexpr const char* kMessages5 =
    "select rowid,address,date,text,flags,group_id,subject,madrid_handle,madrid_account_guid,"
    "madrid_attachmentinfo,madrid_account,madrid_flags,is_madrid,madrid_date_delivered from "
    "message";
constexpr const char* kMadridAttachments =
    "select attachment_guid,filename,uti_type,mime_type from madrid_attachment";
constexpr const char* kHandleCount = "select count(*) from handle";
constexpr const char* kHandles = "select rowid,id,service,uncanonicalized_id from handle";
constexpr const char* kAttachments =
    "select j.message_id,a.filename,a.is_outgoing from message_attachment_join j,attachment a "
    "where j.attachment_id=a.ROWID and a.mime_type=\"image/jpeg\" ";
constexpr const char* kMessages6 =
    "select rowid,guid,text,handle_id,subject,service,date,is_from_me,is_system_message from "
    "message";

constexpr std::int32_t kMadridAttachmentKind = 2;
constexpr std::int32_t kOneToOneGroup = 0;
constexpr std::int32_t kNoPerson = -1;

// Contact names for addresses, from the person and multi-value slots. The first equal value in
// slot order decides, as a walk of the lists would; the maps only make it linear.
class ContactNames {
public:
    // No labels.
    ContactNames() = default;

    // Labels from the current contact slots, when both hold a list.
    static ContactNames FromSlots() {
        ContactNames names;
        const Person* persons = Lists().persons.head();
        const MultiValue* values = Lists().multiValues.head();
        names.active_ = persons != nullptr && values != nullptr;
        if (!names.active_) {
            return names;
        }
        for (const MultiValue* value = values; value != nullptr; value = value->nextRecord) {
            if (value->value != nullptr) {
                names.firstValue_.try_emplace(std::u16string_view(value->value), value);
            }
        }
        for (const Person* person = persons; person != nullptr; person = person->nextRecord) {
            names.firstPerson_.try_emplace(person->rowid, person);
        }
        return names;
    }

    bool active() const { return active_; }

    // address + "(" + name + ");" when a person owns the address, else address + ";".
    void AppendLabelled(std::u16string& out, std::u16string_view address) const {
        out += address;
        if (const Person* person = OwnerOf(address)) {
            AppendLabel(out, *person);
        } else {
            out += u';';
        }
    }

    // The person of the first multi-value equal to `address`, if it names one.
    const Person* OwnerOf(std::u16string_view address) const {
        const auto value = firstValue_.find(address);
        if (value == firstValue_.end() || value->second->record_id == kNoPerson) {
            return nullptr;
        }
        const auto person = firstPerson_.find(value->second->record_id);
        return person == firstPerson_.end() ? nullptr : person->second;
    }

    // "(" + first, middle and last without separators + ");".
    static void AppendLabel(std::u16string& out, const Person& person) {
        out += u'(';
        for (const char16_t* part : {person.first, person.middle, person.last}) {
            if (part != nullptr) {
                out += part;
            }
        }
        out += u");";
    }

private:
    bool active_ = false;
    std::unordered_map<std::u16string_view, const MultiValue*> firstValue_;
    std::unordered_map<std::int32_t, const Person*> firstPerson_;
};

// A zero-filled buffer of `size` bytes in the arena holding the first `copied` bytes of `bytes`;
// null when it cannot be allocated.
char* CopyBytes(Arena& arena, std::string_view bytes, std::size_t size, std::size_t copied) {
    auto* buffer = static_cast<char*>(arena.Allocate(size, 1));
    if (buffer != nullptr) {
        std::memcpy(buffer, bytes.data(), copied);
    }
    return buffer;
}

// Reads the rows of a statement into a list and hands it to its slot and *out: a record that
// cannot be built ends the list there and the reader goes on with what it has. False (nothing
// handed out) when the statement does not prepare.
template <typename Record, typename Fill>
bool ReadListUpToFailure(sqlite3* db, const char* sql, Record** out, Slot<Record>& slot, Fill fill,
                         RecordCallback callback, void* userData) {
    ListBuilder<Record> list;
    Statement statement(db, sql);
    if (!statement.Prepared()) {
        return false;
    }
    statement.UseArena(list.arena());
    while (statement.Step()) {
        Record* record = list.Append();
        if (record == nullptr) {
            break;
        }
        try {
            fill(*record, statement);
        } catch (const std::bad_alloc&) {
            break;
        }
        if (callback != nullptr) {
            callback(record, userData);
        }
    }
    list.HandOut(out, slot);
    return true;
}

void FillPiece(MsgPiece_iOS5& piece, const Statement& row) {
    piece.message_id = row.Int(0);
    piece.isBinary = row.Utf8(2) == "text/plain" ? 0 : 1;
    const std::string_view data = row.Bytes(1);
    if (data.empty()) {
        return;
    }
    // Text parts are handed out zero-terminated.
    const std::size_t size = data.size() + (piece.isBinary == 0 ? 1 : 0);
    piece.data = reinterpret_cast<unsigned char*>(CopyBytes(row.arena(), data, size, data.size()));
    if (piece.data != nullptr) {
        piece.length = static_cast<std::int32_t>(data.size());
    }
}

// Member addresses per group id, in row order; empty addresses are never used, so never kept.
using Members = std::unordered_map<std::int32_t, std::vector<std::u16string>>;

Members ReadMembers(sqlite3* db) {
    Members members;
    Statement statement(db, kMembers);
    while (statement.Step()) {
        std::u16string address = statement.Utf16(1);
        if (!address.empty()) {
            members[statement.Int(0)].push_back(std::move(address));
        }
    }
    return members;
}

// The group's member addresses, each followed by ";" (only the first for a one-to-one
// conversation), labelled with contact names.
std::u16string GroupAddress(const Members& members, std::int32_t groupId, std::int32_t type,
                            const ContactNames& names) {
    std::u16string address;
    const auto found = members.find(groupId);
    if (found == members.end()) {
        return address;
    }
    for (const std::u16string& member : found->second) {
        address += member;
        address += u';';
        if (type == kOneToOneGroup) {
            break;
        }
    }
    if (!names.active()) {
        return address;
    }
    std::u16string labelled;
    std::size_t start = 0;
    while (start < address.size()) {
        const std::size_t end = std::min(address.find(u';', start), address.size());
        if (end > start) {
            names.AppendLabelled(labelled, std::u16string_view(address).substr(start, end - start));
        }
        start = end + 1;
    }
    return labelled;
}

// The row id of the first chat of each account id, in statement order.
using Chats = std::unordered_map<std::u16string, std::int32_t>;

Chats ReadChats(sqlite3* db) {
    Chats chats;
    Statement statement(db, kChats);
    while (statement.Step()) {
        // A chat without an account id can match no message.
        if (!statement.IsNull(1)) {
            chats.try_emplace(statement.Utf16(1), statement.Int(0));
        }
    }
    return chats;
}

// The attachment info as a zero-terminated byte string in a buffer of the column's length.
void FillAttachmentInfo(Arena& arena, Message_iOS5& message, std::string_view info) {
    if (info.empty()) {
        return;
    }
    const std::size_t copied = ::strnlen(info.data(), info.size() - 1);
    message.madrid_attachmentinfo = CopyBytes(arena, info, info.size(), copied);
    if (message.madrid_attachmentinfo != nullptr) {
        message.attachmentInfoLength = static_cast<std::int32_t>(info.size());
    }
}

void FillMessage5(Message_iOS5& message, const Statement& row, const Chats& chats) {
    ReadColumns(row, 0, message.rowid, message.address, message.date, message.text, message.flags);
    message.is_madrid = row.Int(12);
    ReadColumns(row, 5, message.group_id, message.subject);
    if (message.is_madrid != 1) {
        return;
    }
    ReadColumns(row, 7, message.madrid_handle, message.madrid_account_guid);
    FillAttachmentInfo(row.arena(), message, row.Bytes(9));
    message.madrid_account = row.Text(10);
    message.madrid_flags = row.Int(11);
    message.madrid_date_delivered = row.Int64(13);
    if (message.madrid_account_guid != nullptr) {
        const auto chat = chats.find(message.madrid_account_guid);
        if (chat != chats.end()) {
            message.group_id = chat->second;
        }
    }
}

// The iOS 5 reader never gives up for want of memory: working data it cannot hold is done without,
// as when its optional statement does not prepare.
template <typename Make>
auto OrNothing(Make make) -> decltype(make()) {
    try {
        return make();
    } catch (const std::bad_alloc&) {
        return {};
    }
}

int ReadMessages5(sqlite3* db, std::int32_t* groupCount, MsgGroup_iOS5** groups,
                  Message_iOS5** messages, MsgPiece_iOS5** pieces, RecordCallback callback,
                  void* userData) {
    CurrentLists& lists = Lists();
    if (groupCount != nullptr && !ReadCount(db, kGroupCount, groupCount)) {
        return DBQUARRY_PREPARE_FAILED;
    }
    if (pieces != nullptr) {
        ReadListUpToFailure(db, kPieces, pieces, lists.pieces5, FillPiece, nullptr, nullptr);
    }
    if (groups != nullptr) {
        const Members members = OrNothing([db] { return ReadMembers(db); });
        const ContactNames names = OrNothing(ContactNames::FromSlots);
        const auto fill = [&](MsgGroup_iOS5& group, const Statement& row) {
            group.rowid = row.Int(0);
            const std::u16string address = GroupAddress(members, group.rowid, row.Int(1), names);
            if (!address.empty()) {
                group.address = CopyText(row.arena(), address);
            }
        };
        if (!ReadListUpToFailure(db, kGroups, groups, lists.groups5, fill, callback, userData)) {
            return DBQUARRY_GROUPS_FAILED;
        }
    }
    if (messages != nullptr) {
        const Chats chats = OrNothing([db] { return ReadChats(db); });
        const auto fill = [&](Message_iOS5& message, const Statement& row) {
            FillMessage5(message, row, chats);
        };
        if (!ReadListUpToFailure(db, kMessages5, messages, lists.messages5, fill, nullptr,
                                 nullptr)) {
            return DBQUARRY_MESSAGES_FAILED;
        }
    }
    return DBQUARRY_OK;
}

void FillHandle(Handle_iOS6& handle, const Statement& row, const ContactNames& names) {
    handle.rowid = row.Int(0);
    handle.service = row.Text(2);
    handle.uncanonicalized_id = row.Text(3);
    // A NULL id is taken as empty and never labelled.
    if (!names.active() || row.IsNull(1)) {
        handle.id = row.IsNull(1) ? CopyText(row.arena(), u"") : row.Text(1);
        return;
    }
    handle.id = row.Text(1);
    if (handle.id == nullptr) {
        return;
    }
    // Labelled once as a whole; an unlabelled id keeps no ";".
    std::u16string labelled(handle.id);
    if (const Person* person = names.OwnerOf(labelled)) {
        ContactNames::AppendLabel(labelled, *person);
        handle.id = CopyText(row.arena(), labelled);
    }
}

void FillAttachment(Attachment_iOS6& attachment, const Statement& row) {
    attachment.message_id = row.Int(0);
    static_cast<void>(row.Int(2));  // is_outgoing: selected, not kept
    if (row.IsNull(1)) {
        return;
    }
    std::string_view filename = row.Utf8(1);
    if (filename.starts_with("~/")) {
        filename.remove_prefix(2);
    }
    attachment.filename = Utf8ToWide(row.arena(), filename);
}

// Ids of the messages that own a record of the attachment slot, gathered once (bench_dbquarry).
std::unordered_set<std::int32_t> MessagesWithAttachments() {
    std::unordered_set<std::int32_t> ids;
    for (const Attachment_iOS6* a = Lists().attachments6.head(); a != nullptr; a = a->nextRecord) {
        ids.insert(a->message_id);
    }
    return ids;
}

void FillMessage6(Message_iOS6& message, const Statement& row,
                  const std::unordered_set<std::int32_t>& withAttachments) {
    ReadColumns(row, 0, message.rowid, message.guid, message.text, message.handle_id,
                message.subject, message.service, message.date, message.is_from_me,
                message.is_system_message);
    message.hasAttachment = withAttachments.contains(message.rowid) ? 1 : 0;
}

int ReadMessages6(sqlite3* db, std::int32_t* handleCount, Handle_iOS6** handles,
                  Message_iOS6** messages, Attachment_iOS6** attachments, RecordCallback callback,
                  void* userData) {
    CurrentLists& lists = Lists();
    if (handleCount != nullptr && !ReadCount(db, kHandleCount, handleCount)) {
        return DBQUARRY_PREPARE_FAILED;
    }
    if (handles != nullptr) {
        const ContactNames names = ContactNames::FromSlots();
        const auto fill = [&](Handle_iOS6& handle, const Statement& row) {
            FillHandle(handle, row, names);
        };
        if (const int code = ReadList(db, kHandles, handles, lists.handles6, fill, callback,
                                      userData, DBQUARRY_HANDLES_FAILED);
            code != DBQUARRY_OK) {
            return code;
        }
    }
    if (attachments != nullptr) {
        // An attachment that cannot be built ends that list; the messages are still read.
        ReadListUpToFailure(db, kAttachments, attachments, lists.attachments6, FillAttachment,
                            nullptr, nullptr);
    }
    if (messages != nullptr) {
        const std::unordered_set<std::int32_t> withAttachments = MessagesWithAttachments();
        const auto fill = [&](Message_iOS6& message, const Statement& row) {
            FillMessage6(message, row, withAttachments);
        };
        return ReadList(db, kMessages6, messages, lists.messages6, fill, nullptr, nullptr,
                        DBQUARRY_MESSAGES_FAILED);
    }
    return DBQUARRY_OK;
}

bool IsReportedImage(std::string_view mimeType) {
    return mimeType == "image/jpeg" || mimeType == "image/png";
}

int ReportMadridAttachments(sqlite3* db, MadridAttachmentCallback callback, void* userData) {
    return VisitRows(db, kMadridAttachments, [&](const Statement& row) {
        // A row without a mime type is no image; a missing guid or name is passed as "".
        if (row.IsNull(3) || !IsReportedImage(row.Utf8(3)) || callback == nullptr) {
            return;
        }
        const std::string guid(row.Utf8(0));
        const std::string filename(row.Utf8(1));
        callback(guid.c_str(), filename.c_str(), kMadridAttachmentKind, userData);
    });
}

}  // namespace
}  // namespace dbquarry

int qvGetMessage_iOS5(const char16_t* path, int32_t* groupCount, MsgGroup_iOS5** groups,
                      Message_iOS5** messages, MsgPiece_iOS5** pieces, RecordCallback callback,
                      void* userData) {
    return dbquarry::WithDatabase(path, [&](sqlite3* db) {
        return dbquarry::ReadMessages5(db, groupCount, groups, messages, pieces, callback,
                                       userData);
    });
}

int qvGetMadridAttachment_iOS5(const char16_t* path, MadridAttachmentCallback callback,
                               void* userData) {
    return dbquarry::WithDatabase(path, [&](sqlite3* db) {
        return dbquarry::ReportMadridAttachments(db, callback, userData);
    });
}

int qvGetMessage_iOS6(const char16_t* path, int32_t* handleCount, Handle_iOS6** handles,
                      Message_iOS6** messages, Attachment_iOS6** attachments,
                      RecordCallback callback, void* userData) {
    return dbquarry::WithDatabase(path, [&](sqlite3* db) {
        return dbquarry::ReadMessages6(db, handleCount, handles, messages, attachments, callback,
                                       userData);
    });
}
