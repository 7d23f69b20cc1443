// The pages of an open store's tree files (.isd and .isl): a bounded cache,
// copy-on-write allocation and the free page lists.
//
// Pages reachable from the committed state are never written: a change goes
// to a fresh page, one allocated in this session (it carries the session's
// generation), and the page it replaces joins the pending list, free from the
// next commit on. Fresh pages are written in place as often as needed, when
// evicted or at commit: nothing committed refers to them.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "env.h"
#include "status.h"

namespace vbis {

class Layout;

// Sets the checksum of a page of `page_size` bytes.
void SealPage(uint8_t *data, uint32_t page_size, uint32_t crc_seed);
// Checks checksum, kind, own number and generation (at most `newest`) of a
// page; returns an empty text when sound, else what is wrong.
std::string CheckPageFrame(const uint8_t *data, uint32_t page_size, uint32_t crc_seed,
                           uint16_t kind, uint32_t number, uint64_t newest);

enum TreeFile { kDataFile = 0, kIndexFile = 1 };

struct Page {
    TreeFile file;
    uint32_t number;
    bool dirty = false;
    std::unique_ptr<uint8_t[]> data;
    std::list<Page *>::iterator lru;
};

class Pager {
  public:
    struct Params {
        File *files[2];        // .isd and .isl
        std::string paths[2];  // for messages
        uint32_t page_size;
        uint32_t crc_seed;  // crc32c of the store id
        size_t key_max;
        const Layout *layout;
        size_t cache_pages;
    };

    explicit Pager(const Params &params);
    ~Pager();

    // Sets what the committed state holds: page counts, free lists and the
    // newest generation a page reachable from it may carry. `session` is the
    // generation of pages written from now on (0 for a reader).
    void Reset(uint32_t data_pages, uint32_t index_pages, std::vector<uint32_t> free_data,
               std::vector<uint32_t> free_index, uint64_t committed, uint64_t session);

    // Reads a page of the committed tree (or a fresh one) and checks it.
    Status Read(TreeFile file, uint32_t number, Page **page);
    // A zeroed fresh page with its header set.
    Status Allocate(TreeFile file, Page **page);
    // The page itself if fresh; else a fresh copy, the original freed.
    Status MakeWritable(Page *page, Page **writable);
    bool IsFresh(const Page *page) const;
    void MarkDirty(Page *page) { page->dirty = true; }

    // Evicts pages down to the cache's size, writing dirty ones.
    Status Trim();
    // Writes every dirty page.
    Status Flush();

    uint32_t page_count(TreeFile file) const { return pages_[file]; }
    // The free lists for the next commit: the free pages not used, and the
    // pages replaced in this session.
    std::vector<uint32_t> FreeAfterCommit(TreeFile file) const;

  private:
    Status WritePage(Page *page);
    void Drop(Page *page);
    static uint64_t CacheKey(TreeFile f, uint32_t n) { return static_cast<uint64_t>(f) << 32 | n; }

    Params params_;
    uint32_t pages_[2] = {1, 1};
    std::vector<uint32_t> free_[2];
    std::vector<uint32_t> pending_[2];
    uint64_t committed_ = 0;
    uint64_t session_ = 0;
    std::unordered_map<uint64_t, Page *> cache_;
    std::list<Page *> lru_;  // most recently used first
};

}  // namespace vbis
