#include "dbquarry/lists.h"

namespace dbquarry {
namespace {

template <typename Field>
void Release(Field*& field) {
    delete[] field;
    field = nullptr;
}

template <typename... Fields>
void ReleaseAll(Fields*&... fields) {
    (Release(fields), ...);
}

}  // namespace

CurrentLists& Lists() {
    static CurrentLists lists;
    return lists;
}

void ReleaseFields(MsgGroup_iOS5& r) {
    ReleaseAll(r.address);
}

void ReleaseFields(Message_iOS5& r) {
    ReleaseAll(r.address, r.madrid_account, r.madrid_account_guid, r.madrid_attachmentinfo,
               r.madrid_handle, r.subject, r.text);
}

void ReleaseFields(MsgPiece_iOS5& r) {
    ReleaseAll(r.data);
}

void ReleaseFields(Handle_iOS6& r) {
    ReleaseAll(r.id, r.service, r.uncanonicalized_id);
}

void ReleaseFields(Message_iOS6& r) {
    ReleaseAll(r.guid, r.service, r.subject, r.text);
}

void ReleaseFields(Attachment_iOS6& r) {
    ReleaseAll(r.filename);
}

void ReleaseFields(Person& r) {
    ReleaseAll(r.birthday, r.department, r.first, r.phone, r.groups, r.jobtitle, r.last, r.middle,
               r.nickname, r.note, r.organization);
}

void ReleaseFields(MultiValue& r) {
    ReleaseAll(r.label, r.value);
}

void ReleaseFields(MultiValueEntry& r) {
    ReleaseAll(r.key, r.value);
}

void ReleaseFields(CallRecord& r) {
    ReleaseAll(r.address);
}

void ReleaseFields(CameraPhoto& r) {
    ReleaseAll(r.zdirectory, r.zfilename, r.reservedText);
}

void ReleaseFields(CalendarItem& r) {
    ReleaseAll(r.title, r.description, r.location, r.summary, r.url);
}

void ReleaseFields(NoteRecord& r) {
    ReleaseAll(r.ZCONTENT, r.ZSUMMARY, r.ZTITLE);
}

void ReleaseFields(VoiceMemo& r) {
    ReleaseAll(r.ZPATH, r.ZCUSTOMLABEL);
}

void ReleaseFields(BookMark& r) {
    ReleaseAll(r.title, r.url);
}

}  // namespace dbquarry
