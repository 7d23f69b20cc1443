/*
 * vbis4032: an embedded indexed-record store.
 *
 * A store is named by a path without extension, P, and is exactly the four
 * files P.isd, P.isl, P.isf and P.ism. The files hold no name or path, so the
 * four files copied or renamed under another base name are the same store.
 * Records are kept in ascending byte order of their keys; each record has the
 * fields that the store's layout text declares (see VmxCreate).
 *
 * Rules every function follows:
 *  - Every argument is passed by reference: the function receives the address
 *    of the value. A text is a reference to a NUL-terminated 8-bit text
 *    (`const char *const *`). No function changes a text or record it is given.
 *  - Every function returns a signed 16-bit result: VMX_OK (0) or one of the
 *    VMX_* codes below. The codes are stable; new ones may be added.
 *  - A null reference where a value is required gives VMX_BAD_ARGUMENT, and
 *    nothing is changed.
 *  - Handles are opaque non-zero 32-bit integers. Any value that is not the
 *    handle of an open store (never opened, already closed, garbage) gives
 *    VMX_BAD_HANDLE.
 *  - Thread safety: the functions may be called from several threads, but one
 *    handle must be used by one thread at a time.
 *  - Texts returned by the library (record fields, keys, the layout) belong to
 *    the handle. They stay valid until the next call with that handle, and at
 *    most until VmxClose; copy them to keep them.
 *
 * The record block. A record is handed over as a block of fields laid out in
 * the order of the layout text, with no padding between them: each "$" field
 * is a text reference (`const char *`, the platform's pointer width), each "%"
 * field a native 16-bit integer (int16_t). The layout "x40$,$,$,$,%,%,$"
 * gives a block of 5 * sizeof(char *) + 2 * 2 bytes: 44 bytes on a 64-bit
 * platform. The library reads and writes the block by byte offsets, so the
 * block needs no particular alignment. VmxRecordSize tells its size.
 */
#ifndef VBIS4032_H
#define VBIS4032_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(VBIS_BUILDING_LIBRARY)
#define VBIS_EXPORT __declspec(dllexport)
#else
#define VBIS_EXPORT __declspec(dllimport)
#endif
#else
#define VBIS_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results. */
enum {
    /* The call did what it was asked to do. */
    VMX_OK = 0,
    /* The store does not exist, or no record has that key, or an iteration
     * has no further record. */
    VMX_NOT_FOUND = 1,
    /* VmxCreate or VmxRename: a file of the target store exists already.
     * VmxPut with mode 1: the key is present already. */
    VMX_EXISTS = 2,
    /* The store is open for writing (by this or another process), or open
     * for reading while a writer asks for it: it was not opened, killed or
     * renamed. */
    VMX_IN_USE = 3,
    /* An argument is not acceptable: a null reference, a bad layout text,
     * an unknown mode or creation argument, an empty or over-long key, a
     * record whose texts are missing or too long to store. */
    VMX_BAD_ARGUMENT = 4,
    /* The handle is not the handle of an open store. */
    VMX_BAD_HANDLE = 5,
    /* VmxPut on a handle opened for reading only. */
    VMX_READ_ONLY = 6,
    /* The operating system reported an input/output error. A write session
     * that meets one is ended: later calls on its handle return the same
     * result, VmxClose releases it, and the store keeps the records of its
     * last completed VmxClose. */
    VMX_IO_ERROR = 7,
    /* The disk is full. The store is left as for VMX_IO_ERROR. */
    VMX_NO_SPACE = 8,
    /* A file of the store is damaged, truncated, missing or belongs to
     * another store. Nothing is changed. */
    VMX_CORRUPT = 9,
    /* The store's last write session did not end with VmxClose (the program
     * or the machine stopped). Its records are those of the last completed
     * VmxClose; VmxOpen with the VMX_OPEN_RECOVER flag opens them. */
    VMX_NOT_CLOSED = 10,
    /* The files were written by a format version this library does not
     * read. */
    VMX_BAD_VERSION = 11,
    /* Out of memory, or too many stores open at once in this process. */
    VMX_NO_RESOURCES = 12
};

/* Keys are 1 to VMX_KEY_MAX bytes, compared as unsigned bytes: "yy" and "YY"
 * are different keys. A layout may set a lower maximum. */
#define VMX_KEY_MAX 255

/* VmxOpen's access argument (the third). */
#define VMX_ACCESS_READ 1      /* reading only; several readers may share */
#define VMX_ACCESS_READWRITE 3 /* reading and writing; one writer, no reader */

/* VmxOpen's flags argument (the second): 0 or VMX_OPEN_RECOVER. */
#define VMX_OPEN_RECOVER                                 \
    1 /* open a store that was not closed cleanly at the \
         state of its last completed VmxClose */

/* VmxPut's mode argument (the fourth). */
#define VMX_PUT_UPSERT 0 /* add the record, or replace the one under its key */
#define VMX_PUT_INSERT 1 /* add only: VMX_EXISTS if the key is present */
#define VMX_PUT_UPDATE 2 /* replace only: VMX_NOT_FOUND if it is absent */

/* Deletes the four files of the store `store`.
 * VMX_NOT_FOUND if none of them exists (nothing changes); VMX_IN_USE if the
 * store is open anywhere (nothing is deleted). Files that are present are
 * deleted even when others are missing or damaged, so a broken store can
 * always be removed. */
VBIS_EXPORT int16_t VmxKill(const char *const *store);

/* Creates a new, empty store `store` whose records follow `layout`.
 *
 * layout: items "$" (a text) and "%" (a 16-bit integer) separated by commas,
 *   1 to 255 items, nothing else (no spaces). The first item may carry the
 *   prefix "x" and a decimal number from 1 to 255: the store's maximum key
 *   length in bytes ("x40$,..." accepts keys of 1 to 40 bytes). Without it
 *   the maximum is VMX_KEY_MAX.
 * key_kind: 2, keys are byte texts compared as unsigned bytes (the only kind).
 * page_size: 0 for the default of 4096 bytes, or a power of two from 1024 to
 *   32768. A record, key included, may take at most a quarter of a page.
 * reserved1, reserved2: 0.
 *
 * VMX_EXISTS if any of the four files exists (nothing changes);
 * VMX_BAD_ARGUMENT for anything else than the above (no file is created).
 * On any failure no file of the store is left behind. */
VBIS_EXPORT int16_t VmxCreate(const char *const *store, const int16_t *key_kind,
                              const int32_t *page_size, const int16_t *reserved1,
                              const int16_t *reserved2, const char *const *layout);

/* Opens the store `store` and places its handle in *handle (set to 0 on any
 * failure).
 * flags: 0, or VMX_OPEN_RECOVER.
 * access: VMX_ACCESS_READ or VMX_ACCESS_READWRITE.
 * A store open for writing is locked (an advisory lock on its files): a
 * second writer or a reader, in any process, gets VMX_IN_USE; so does a
 * writer while readers hold it. */
VBIS_EXPORT int16_t VmxOpen(const char *const *store, const int16_t *flags, const int16_t *access,
                            int32_t *handle);

/* Stores the record block `record` under `key`, as `mode` says (0: add or
 * replace, the later record under a key wins). */
VBIS_EXPORT int16_t VmxPut(const int32_t *handle, const char *const *key, const void *record,
                           const int16_t *mode);

/* Closes the store. For a handle open for writing, from the moment VmxClose
 * returns VMX_OK the four files hold every record put, complete and durable
 * on disk. On a failure the handle is released all the same and the store
 * keeps the records of its last completed VmxClose. */
VBIS_EXPORT int16_t VmxClose(const int32_t *handle);

/* The read side. */

/* Fills the record block `record` with the record under `key`; its texts
 * belong to the handle (see above). VMX_NOT_FOUND if there is none. */
VBIS_EXPORT int16_t VmxGet(const int32_t *handle, const char *const *key, void *record);

/* Iteration in ascending key order: VmxFirst gives the first record, each
 * VmxNext the record after the last one given. *key receives the key (a text
 * of the handle's), `record` the fields. VMX_NOT_FOUND past the end. Puts
 * between the calls are allowed; VmxNext carries on after the last key
 * given. */
VBIS_EXPORT int16_t VmxFirst(const int32_t *handle, const char **key, void *record);
VBIS_EXPORT int16_t VmxNext(const int32_t *handle, const char **key, void *record);

/* The number of records in the store. */
VBIS_EXPORT int16_t VmxCount(const int32_t *handle, int32_t *count);

/* The size in bytes of the store's record block. */
VBIS_EXPORT int16_t VmxRecordSize(const int32_t *handle, int32_t *size);

typedef struct VmxStoreInfo {
    const char *layout;     /* the layout text, a text of the handle's */
    int32_t records;        /* number of records */
    int32_t format_version; /* version of the file format */
    int64_t generation;     /* commits made since the store was created */
    int32_t page_size;      /* bytes per page */
    int16_t key_max;        /* longest key accepted, in bytes */
    int16_t clean;          /* 1 if the last write session ended with VmxClose */
} VmxStoreInfo;

/* Describes the open store. */
VBIS_EXPORT int16_t VmxInfo(const int32_t *handle, VmxStoreInfo *info);

/* Reads and checks every page, record and checksum of the store, which must
 * not be open for writing. On VMX_OK *records receives the number of records.
 * On any other result, if `message` is not null, up to *message_size bytes of
 * it (NUL included) receive a description that names the damaged file. */
VBIS_EXPORT int16_t VmxVerify(const char *const *store, int32_t *records, char *message,
                              const int32_t *message_size);

/* Renames the files of store `from` to those of store `to`: the four files,
 * or those of them that exist, so that a broken store can be moved aside as
 * well as killed. VMX_NOT_FOUND if none exists, VMX_IN_USE if `from` is open,
 * VMX_EXISTS if a file of `to` exists, unless it is one that a rename of this
 * same store (the same store id) already moved before it was stopped: then
 * the call finishes that rename. Nothing is ever replaced. On a failure
 * midway the files this call renamed are moved back. */
VBIS_EXPORT int16_t VmxRename(const char *const *from, const char *const *to);

/* A short English text naming a result ("not found"); static, never null. */
VBIS_EXPORT const char *VmxResultText(int16_t result);

#ifdef __cplusplus
}
#endif

#endif /* VBIS4032_H */
