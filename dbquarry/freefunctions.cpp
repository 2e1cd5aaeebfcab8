// The free functions: each releases every list of its family, in the order the records refer to
// each other, and may be called at any time, also twice.
#include "dbquarry/currentlists.h"
#include "dbquarry/dbquarry.h"

using dbquarry::Lists;

void qvFreeMessage_iOS5(void) {
    Lists().pieces5.Release();
    Lists().groups5.Release();
    Lists().messages5.Release();
}

void qvFreeMessage_iOS6(void) {
    Lists().attachments6.Release();
    Lists().messages6.Release();
    Lists().handles6.Release();
}

void qvFreeContacts(void) {
    Lists().entries.Release();
    Lists().multiValues.Release();
    Lists().persons.Release();
}

void qvFreeCameraPhotos(void) {
    Lists().photos.Release();
}

void qvFreeCallHistory(void) {
    Lists().calls.Release();
}

void qvFreeCalendarAndReminder(void) {
    Lists().calendarItems.Release();
}

void qvFreeNotes(void) {
    Lists().notes.Release();
}

void qvFreeVoiceMemos(void) {
    Lists().memos.Release();
}

void qvFreeBookMarks(void) {
    Lists().bookmarks.Release();
}
