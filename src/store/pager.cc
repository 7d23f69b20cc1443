#include "pager.h"

#include <cstring>

#include "crc32c.h"
#include "format.h"
#include "layout.h"
#include "node.h"

namespace vbis {

Pager::Pager(const Params &params) : params_(params) {}

Pager::~Pager() {
    for (Page *p : lru_) delete p;
}

void Pager::Reset(uint32_t data_pages, uint32_t index_pages, std::vector<uint32_t> free_data,
                  std::vector<uint32_t> free_index, uint64_t committed, uint64_t session) {
    for (Page *p : lru_) delete p;
    lru_.clear();
    cache_.clear();
    pages_[kDataFile] = data_pages;
    pages_[kIndexFile] = index_pages;
    free_[kDataFile] = std::move(free_data);
    free_[kIndexFile] = std::move(free_index);
    pending_[kDataFile].clear();
    pending_[kIndexFile].clear();
    committed_ = committed;
    session_ = session;
}

void SealPage(uint8_t *data, uint32_t page_size, uint32_t crc_seed) {
    Store32(data, crc32c::Extend(crc_seed, data + 4, page_size - 4));
}

std::string CheckPageFrame(const uint8_t *data, uint32_t page_size, uint32_t crc_seed,
                           uint16_t kind, uint32_t number, uint64_t newest) {
    std::string page = "page " + std::to_string(number);
    if (Load32(data) != crc32c::Extend(crc_seed, data + 4, page_size - 4)) {
        return page + ": checksum mismatch";
    }
    if (Load16(data + 4) != kind) return page + ": wrong page kind";
    if (Load32(data + 8) != number) return page + ": wrong page number";
    if (Load64(data + 16) > newest) return page + ": written after the last commit";
    return {};
}

bool Pager::IsFresh(const Page *page) const {
    return session_ != 0 && Load64(page->data.get() + 16) == session_;
}

Status Pager::Read(TreeFile file, uint32_t number, Page **page) {
    auto it = cache_.find(CacheKey(file, number));
    if (it != cache_.end()) {
        Page *p = it->second;
        lru_.splice(lru_.begin(), lru_, p->lru);
        *page = p;
        return Status();
    }
    const std::string &path = params_.paths[file];
    if (number == 0 || number >= pages_[file]) {
        return Status::Corrupt(path + ": reference to page " + std::to_string(number) +
                               " outside the file");
    }
    std::unique_ptr<uint8_t[]> data(new uint8_t[params_.page_size]);  // filled by the read
    size_t got = 0;
    VBIS_RETURN_IF_ERROR(params_.files[file]->Read(uint64_t{number} * params_.page_size, data.get(),
                                                   params_.page_size, &got));
    if (got != params_.page_size) {
        return Status::Corrupt(path + ": page " + std::to_string(number) + " is cut short");
    }
    bool leaf = file == kDataFile;
    // A page of the committed tree is at most as new as the commit; a fresh
    // page written out by this session carries the session's generation.
    const bool own = session_ != 0 && Load64(data.get() + 16) == session_;
    std::string why =
        CheckPageFrame(data.get(), params_.page_size, params_.crc_seed,
                       leaf ? kKindLeaf : kKindBranch, number, own ? session_ : committed_);
    // A page this session wrote itself was built here and needs only its
    // checksum. Records are checked against the layout when one is used.
    if (why.empty() && !own) {
        why = Node(data.get(), params_.page_size, leaf).Check(params_.key_max, nullptr);
        if (!why.empty()) why = "page " + std::to_string(number) + ": " + why;
    }
    if (!why.empty()) return Status::Corrupt(path + ": " + why);

    auto *p = new Page{file, number, false, std::move(data), {}};
    lru_.push_front(p);
    p->lru = lru_.begin();
    cache_[CacheKey(file, number)] = p;
    *page = p;
    return Status();
}

Status Pager::Allocate(TreeFile file, Page **page) {
    uint32_t number;
    if (!free_[file].empty()) {
        number = free_[file].back();
        free_[file].pop_back();
    } else {
        if (pages_[file] == UINT32_MAX) return Status::NoSpace(params_.paths[file] + ": file full");
        number = pages_[file]++;
    }
    auto it = cache_.find(CacheKey(file, number));
    if (it != cache_.end()) {
        // A listed free page that the tree still uses: never hand it out.
        if (!IsFresh(it->second)) {
            return Status::Corrupt(params_.paths[file] + ": free page " + std::to_string(number) +
                                   " is in use");
        }
        Drop(it->second);
    }

    auto data = std::make_unique<uint8_t[]>(params_.page_size);
    std::memset(data.get(), 0, params_.page_size);
    Store16(data.get() + 4, file == kDataFile ? kKindLeaf : kKindBranch);
    Store32(data.get() + 8, number);
    Store32(data.get() + 12, params_.page_size);
    Store64(data.get() + 16, session_);

    auto *p = new Page{file, number, true, std::move(data), {}};
    lru_.push_front(p);
    p->lru = lru_.begin();
    cache_[CacheKey(file, number)] = p;
    *page = p;
    return Status();
}

Status Pager::MakeWritable(Page *page, Page **writable) {
    if (IsFresh(page)) {
        *writable = page;
        return Status();
    }
    Page *copy;
    VBIS_RETURN_IF_ERROR(Allocate(page->file, &copy));
    // Everything but the page number and generation carries over.
    std::memcpy(copy->data.get() + 12, page->data.get() + 12, 4);
    std::memcpy(copy->data.get() + 24, page->data.get() + 24, params_.page_size - 24);
    std::memcpy(copy->data.get() + 4, page->data.get() + 4, 4);
    pending_[page->file].push_back(page->number);
    Drop(page);
    *writable = copy;
    return Status();
}

void Pager::Drop(Page *page) {
    cache_.erase(CacheKey(page->file, page->number));
    lru_.erase(page->lru);
    delete page;
}

Status Pager::WritePage(Page *page) {
    SealPage(page->data.get(), params_.page_size, params_.crc_seed);
    VBIS_RETURN_IF_ERROR(params_.files[page->file]->Write(
        uint64_t{page->number} * params_.page_size, page->data.get(), params_.page_size));
    page->dirty = false;
    return Status();
}

Status Pager::Trim() {
    while (cache_.size() > params_.cache_pages) {
        Page *victim = lru_.back();
        if (victim->dirty) VBIS_RETURN_IF_ERROR(WritePage(victim));
        Drop(victim);
    }
    return Status();
}

Status Pager::Flush() {
    for (Page *p : lru_) {
        if (p->dirty) VBIS_RETURN_IF_ERROR(WritePage(p));
    }
    return Status();
}

std::vector<uint32_t> Pager::FreeAfterCommit(TreeFile file) const {
    std::vector<uint32_t> all = free_[file];
    all.insert(all.end(), pending_[file].begin(), pending_[file].end());
    return all;
}

}  // namespace vbis
