// One store: its four files, its commit slots and its B+tree of records.
//
// A write session runs from Open for writing to Close. Opening marks the
// store as open in a new commit slot; Close writes the session's pages, the
// free list, syncs them, and then commits by writing the other slot. Until
// that slot is on disk the previous state is intact, so a failure or crash
// at any point leaves the records of the last completed Close.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "env.h"
#include "layout.h"
#include "pager.h"
#include "status.h"

namespace vbis {

struct CreateOptions {
    int16_t key_kind = 2;
    int32_t page_size = 0;
    int16_t reserved1 = 0;
    int16_t reserved2 = 0;
};

// What Info tells beside the layout (layout()).
struct StoreInfo {
    uint64_t records = 0;
    uint32_t format_version = 0;
    uint64_t generation = 0;
    uint32_t page_size = 0;
    size_t key_max = 0;
    bool clean = false;
};

class Store {
  public:
    static Status Create(Env *env, const std::string &base, const std::string &layout,
                         const CreateOptions &options);
    // cache_pages: the page cache's size; 0 for the default of a few MiB.
    static Status Open(Env *env, const std::string &base, bool writable, bool recover,
                       std::unique_ptr<Store> *store, size_t cache_pages = 0);
    static Status Kill(Env *env, const std::string &base);
    static Status Rename(Env *env, const std::string &from, const std::string &to);
    // Checks the whole store; *records receives the record count.
    static Status Verify(Env *env, const std::string &base, uint64_t *records);

    ~Store();

    // mode: VMX_PUT_UPSERT, VMX_PUT_INSERT or VMX_PUT_UPDATE.
    Status Put(std::string_view key, const void *block, int mode);
    // Fill `block` with a record; its texts live until the next call.
    Status Get(std::string_view key, void *block);
    Status First(const char **key, void *block);
    Status Next(const char **key, void *block);
    // Commits a write session; releases the store in every case.
    Status Close();

    uint64_t records() const { return records_; }
    const Layout &layout() const { return layout_; }
    StoreInfo Info() const;

  private:
    struct Slot {
        uint64_t generation = 0;
        uint32_t state = 0;
        uint32_t height = 0;
        uint32_t root = 0;
        uint32_t pages[3] = {1, 1, 1};  // .isd, .isl, .isf
        uint32_t free_first = 0;
        uint32_t free_pages = 0;
        uint32_t free_count[2] = {0, 0};
        uint64_t records = 0;
    };
    struct PathStep {
        Page *page;
        int child;
    };

    Store(Env *env, std::string base);
    Status Load(bool writable, bool recover, size_t cache_pages);
    Status ReadHeader(int file, std::string *layout_text);
    Status ReadSlots();
    Status LoadFreeList(std::vector<uint32_t> *free_data, std::vector<uint32_t> *free_index);
    Status WriteSlot(const Slot &slot, bool sync);
    Status Commit();
    Status Fail(Status status);

    Status ReadTree(uint32_t level, uint32_t number, Page **page);
    Status FindLeaf(std::string_view key, std::vector<PathStep> *path, Page **leaf);
    Status InsertIntoLeaf(std::vector<PathStep> &path, Page *leaf, int pos, bool replace,
                          const std::string &entry);
    Status InsertSeparator(std::vector<PathStep> &path, std::string separator, uint32_t right);
    Status SeekAfter(const std::optional<std::string> &after, const char **key, void *block);
    Status Emit(Page *leaf, int i, const char **key, void *block);
    Status Walk(uint32_t level, uint32_t number, const std::string *low, const std::string *high,
                std::vector<bool> *seen_data, std::vector<bool> *seen_index, uint64_t *records);
    const std::string &path(int file) const { return paths_[file]; }

    Env *env_;
    std::string base_;
    std::array<std::string, 4> paths_;
    std::array<std::unique_ptr<File>, 4> files_;
    std::unique_ptr<FileLock> lock_;
    Layout layout_;
    uint32_t page_size_ = 0;
    uint8_t store_id_[16] = {};
    uint32_t crc_seed_ = 0;
    Slot slot_;  // the committed state
    bool writable_ = false;
    Status broken_;  // a write session that met an I/O error ends with it

    // The session's working state (equal to slot_'s when nothing changed).
    uint32_t height_ = 0;
    uint32_t root_ = 0;
    uint64_t records_ = 0;
    uint64_t session_ = 0;
    std::unique_ptr<Pager> pager_;

    std::vector<std::string> texts_;  // texts handed out by Get, First, Next
    std::string key_out_;
    std::optional<std::string> cursor_;  // the last key First or Next gave
};

}  // namespace vbis
