/* Dbquarry: reads the SQLite databases of an iOS device into singly linked lists of plain records,
 * and appends the deleted messages, contacts and calls that the carving engine recovers.
 *
 * Conventions shared by every function:
 * - Paths are zero-terminated UTF-16 file names. Databases are opened read-only: nothing is ever
 *   written beside them.
 * - Every record and every text in it is owned by the library. The lists a reader hands out stay
 *   valid until the free function of their family runs; that function takes no argument, releases
 *   the family's lists and may be called at any time, also twice, and also while the process
 *   exits (from an atexit handler or a global destructor). Never free a record yourself.
 *   Free a family before calling its reader again: the readers of other families look at the
 *   latest lists only (messages take contact names from the latest contact lists).
 * - Text fields are zero-terminated UTF-16 strings; SQL NULL gives a null field, an empty column an
 *   empty string. Numbers are handed out as stored.
 * - Readers return one of the DBQUARRY_* codes; no exception crosses this interface.
 * - Calls that touch one family's lists must not overlap; the library takes no lock.
 */
#ifndef DBQUARRY_DBQUARRY_H
#define DBQUARRY_DBQUARRY_H

#include <stdint.h>

#ifdef __cplusplus
#define DBQUARRY_EXTERN_C extern "C"
#else
#include <uchar.h>
#define DBQUARRY_EXTERN_C
#endif

#if defined(_WIN32)
#if defined(DBQUARRY_BUILD)
#define DBQUARRY_API DBQUARRY_EXTERN_C __declspec(dllexport)
#else
#define DBQUARRY_API DBQUARRY_EXTERN_C __declspec(dllimport)
#endif
#else
#define DBQUARRY_API DBQUARRY_EXTERN_C __attribute__((visibility("default")))
#endif

/* Return codes of the readers. */
enum {
    DBQUARRY_OK = 0,
    DBQUARRY_OPEN_FAILED = 1,     /* the database could not be opened; nothing was written */
    DBQUARRY_PREPARE_FAILED = 2,  /* the count or main statement failed (missing table) */
    DBQUARRY_GROUPS_FAILED = 3,   /* iOS 5: the conversation statement failed */
    DBQUARRY_MESSAGES_FAILED = 5, /* the message statement failed */
    DBQUARRY_HANDLES_FAILED = 6,  /* iOS 6: the correspondent statement failed */
    DBQUARRY_OUT_OF_MEMORY = 8    /* a record could not be allocated */
};

/* Called once per record right after it joined its list; the record stays owned by the list. */
typedef void (*RecordCallback)(void* record, void* userData);
/* An iOS 5 iMessage image attachment: UTF-8 guid and file name, valid during the call only. */
typedef void (*MadridAttachmentCallback)(const char* attachmentGuid, const char* fileName,
                                         int32_t kind, void* userData);
/* A contact thumbnail as stored, valid during the call only. */
typedef void (*ContactImageCallback)(const unsigned char* image, int32_t length, int32_t recordId,
                                     void* userData);

typedef struct MsgGroup_iOS5 MsgGroup_iOS5;
struct MsgGroup_iOS5 {
    int32_t rowid;
    char16_t* address;
    int32_t reserved;
    int32_t deleted;
    MsgGroup_iOS5* nextRecord;
};

typedef struct Message_iOS5 Message_iOS5;
struct Message_iOS5 {
    int32_t rowid;
    char16_t* address;
    int64_t date;
    char16_t* text;
    int32_t flags;
    int32_t group_id;
    char16_t* subject;
    char16_t* madrid_handle;
    char16_t* madrid_account_guid;
    char* madrid_attachmentinfo; /* zero-terminated bytes */
    int32_t attachmentInfoLength;
    int32_t is_madrid;
    char16_t* madrid_account;
    int32_t madrid_flags;
    int64_t madrid_date_delivered;
    Message_iOS5* nextRecord;
};

typedef struct MsgPiece_iOS5 MsgPiece_iOS5;
struct MsgPiece_iOS5 {
    int32_t message_id;
    unsigned char* data; /* text parts carry one extra zero byte */
    int32_t length;
    int32_t isBinary;
    int32_t reserved;
    MsgPiece_iOS5* nextRecord;
};

typedef struct Handle_iOS6 Handle_iOS6;
struct Handle_iOS6 {
    int32_t rowid;
    char16_t* id;
    char16_t* service;
    char16_t* uncanonicalized_id;
    int32_t reserved;
    int32_t deleted;
    Handle_iOS6* nextRecord;
};

typedef struct Message_iOS6 Message_iOS6;
struct Message_iOS6 {
    int32_t rowid;
    char16_t* guid;
    char16_t* text;
    int32_t handle_id;
    char16_t* subject;
    char16_t* service;
    int64_t date;
    int32_t is_from_me;
    int32_t is_system_message;
    int32_t hasAttachment;
    Message_iOS6* nextRecord;
};

typedef struct Attachment_iOS6 Attachment_iOS6;
struct Attachment_iOS6 {
    int32_t message_id;
    char16_t* filename;
    Attachment_iOS6* nextRecord;
};

typedef struct Person Person;
struct Person {
    int32_t rowid;
    char16_t* first;
    char16_t* last;
    char16_t* middle;
    char16_t* organization;
    char16_t* department;
    char16_t* note;
    char16_t* birthday; /* month-day-year, local time */
    char16_t* jobtitle;
    char16_t* nickname;
    int64_t creationdate;
    int64_t modificationdate;
    int32_t ispreferredname;
    int32_t reserved1;
    char16_t* phone;
    int32_t reserved2;
    char16_t* groups; /* group names, each followed by ";" */
    int32_t deleted;
    Person* nextRecord;
};

typedef struct MultiValue MultiValue;
struct MultiValue {
    int32_t uid;
    int32_t record_id;
    int32_t property; /* 3: a phone number */
    int32_t identifier;
    char16_t* label;
    char16_t* value;
    MultiValue* nextRecord;
};

typedef struct MultiValueEntry MultiValueEntry;
struct MultiValueEntry {
    int32_t parent_id;
    char16_t* key;
    char16_t* value;
    MultiValueEntry* nextRecord;
};

typedef struct CallRecord CallRecord;
struct CallRecord {
    int32_t rowid;
    char16_t* address;
    int64_t date;
    int32_t duration;
    int32_t flags; /* 4 incoming, 5 outgoing */
    int32_t reserved;
    int32_t deleted;
    CallRecord* nextRecord;
};

typedef struct CameraPhoto CameraPhoto;
struct CameraPhoto {
    int32_t index;
    int32_t zkind;
    int32_t zsavedassettype;
    int32_t zoriginalwidth;
    int32_t zoriginalheight;
    int32_t zthumbnailindex;
    int64_t ZORIGINALFILESIZE;
    int64_t zdatecreated;
    char16_t* zdirectory;
    char16_t* zfilename;
    char16_t* reservedText;
    double zduration;
    int32_t reserved;
    int32_t zoriginalorientation;
    CameraPhoto* nextRecord;
};

typedef struct CalendarItem CalendarItem;
struct CalendarItem {
    int32_t rowid;
    char16_t* summary;
    char16_t* description;
    int64_t start_date;
    int64_t end_date;
    char16_t* url;
    int32_t birthday_id;
    int64_t due_date;
    int32_t has_recurrences;
    int64_t completion_date;
    int32_t entity_type; /* 2 event, 3 reminder */
    int64_t creation_date;
    char16_t* title;
    char16_t* location;
    int32_t freq;
    int32_t interval;
    int64_t end_repeat;
    int32_t reserved;
    CalendarItem* nextRecord;
};

typedef struct NoteRecord NoteRecord;
struct NoteRecord {
    int32_t ZDELETEDFLAG;
    int64_t ZCREATIONDATE;
    int64_t ZMODIFICATIONDATE;
    char16_t* ZTITLE;
    char16_t* ZSUMMARY;
    char16_t* ZCONTENT;
    NoteRecord* nextRecord;
};

typedef struct VoiceMemo VoiceMemo;
struct VoiceMemo {
    int32_t reserved;
    int64_t ZDATE;
    int32_t ZDURATION; /* whole seconds, rounded */
    char16_t* ZCUSTOMLABEL;
    char16_t* ZPATH;
    VoiceMemo* nextRecord;
};

typedef struct BookMark BookMark;
struct BookMark {
    int32_t reserved;
    int32_t id;
    int32_t parent;
    int32_t type;
    char16_t* title;
    char16_t* url;
    int32_t num_children;
    int32_t hidden;
    BookMark* nextRecord;
};

/* Messages: read contacts first (qvGetContactInfo) for addresses labelled with contact names. */
DBQUARRY_API int qvGetMessage_iOS5(const char16_t* path, int32_t* groupCount,
                                   MsgGroup_iOS5** groups, Message_iOS5** messages,
                                   MsgPiece_iOS5** pieces, RecordCallback callback, void* userData);
DBQUARRY_API int qvGetMadridAttachment_iOS5(const char16_t* path, MadridAttachmentCallback callback,
                                            void* userData);
DBQUARRY_API int qvGetMessage_iOS6(const char16_t* path, int32_t* handleCount,
                                   Handle_iOS6** handles, Message_iOS6** messages,
                                   Attachment_iOS6** attachments, RecordCallback callback,
                                   void* userData);

/* Contacts. */
DBQUARRY_API int qvGetContactInfo(const char16_t* path, int32_t* personCount, Person** persons,
                                  MultiValue** multiValues, MultiValueEntry** entries,
                                  RecordCallback callback, void* userData);
DBQUARRY_API int qvGetContactImage(const char16_t* path, ContactImageCallback callback,
                                   void* userData);

/* One table each: with the counters given they only count, otherwise they build the list. */
DBQUARRY_API int qvGetCallHistory(const char16_t* path, int32_t* rowCount, CallRecord** calls,
                                  RecordCallback callback, void* userData);
DBQUARRY_API int qvGetCameraPhotos(const char16_t* path, int32_t* cameraRollPhotos, int32_t* videos,
                                   int32_t* photoStreamPhotos, CameraPhoto** photos,
                                   RecordCallback callback, void* userData);
DBQUARRY_API int qvGetCalendarAndReminder(const char16_t* path, int32_t* events, int32_t* reminders,
                                          CalendarItem** calendarItems, RecordCallback callback,
                                          void* userData);
DBQUARRY_API int qvGetNotes(const char16_t* path, int32_t* rowCount, NoteRecord** notes,
                            RecordCallback callback, void* userData);
DBQUARRY_API int qvGetVoiceMemos(const char16_t* path, int32_t* rowCount, VoiceMemo** memos,
                                 RecordCallback callback, void* userData);
DBQUARRY_API int qvGetBookMarks(const char16_t* path, int32_t* rowCount, BookMark** bookmarks,
                                RecordCallback callback, void* userData);

/* Deleted records carved from free space, appended to the caller's lists (run the live reader
 * first and pass the same list heads). Recovered records have deleted = 1 and ids from 20000. */
DBQUARRY_API void qvGetDeletedMsg_iOS5(const char16_t* addressBookPath,
                                       const char16_t* messageDbPath, Message_iOS5** messages,
                                       MsgGroup_iOS5** groups);
DBQUARRY_API void qvGetDeletedMsg_iOS6(const char16_t* addressBookPath,
                                       const char16_t* messageDbPath, Message_iOS6** messages,
                                       Handle_iOS6** handles);
DBQUARRY_API void qvGetDeletedContacts(const char16_t* addressBookPath, const char16_t* secondPath,
                                       Person** persons);
DBQUARRY_API void qvGetDeleteCallHistory(const char16_t* addressBookPath,
                                         const char16_t* callDbPath, CallRecord** calls);

/* Release every list of a family. */
DBQUARRY_API void qvFreeMessage_iOS5(void);
DBQUARRY_API void qvFreeMessage_iOS6(void);
DBQUARRY_API void qvFreeContacts(void);
DBQUARRY_API void qvFreeCameraPhotos(void);
DBQUARRY_API void qvFreeCallHistory(void);
DBQUARRY_API void qvFreeCalendarAndReminder(void);
DBQUARRY_API void qvFreeNotes(void);
DBQUARRY_API void qvFreeVoiceMemos(void);
DBQUARRY_API void qvFreeBookMarks(void);

#endif /* DBQUARRY_DBQUARRY_H */
