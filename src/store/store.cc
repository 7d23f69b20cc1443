#include "store.h"

#include <algorithm>
#include <cstring>

#include "crc32c.h"
#include "format.h"
#include "node.h"
#include "vbis4032.h"

namespace vbis {
namespace {

// The page cache of one open store; the rest of its memory is the free list.
constexpr size_t kCacheBytes = 8u << 20;

enum : int { kIsd = 0, kIsl = 1, kIsf = 2, kIsm = 3 };

std::string PathOf(const std::string &base, int file) {
    return base + kExtensions[file];
}

std::string DirOf(const std::string &path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : path.substr(0, slash + 1);
}

uint32_t FreeEntriesPerPage(uint32_t page_size) {
    return (page_size - kPageHeaderBytes) / 4;
}

// The longest leaf entry (key and record) a page accepts: a quarter of its
// room, so that a split always leaves both halves within a page.
size_t MaxEntry(uint32_t page_size) {
    return (page_size - kPageHeaderBytes) / 4 - 2;
}

bool ValidPageSize(uint32_t size) {
    return size >= kMinPageSize && size <= kMaxPageSize && (size & (size - 1)) == 0;
}

void EncodeHeader(uint8_t *h, FileRole role, uint32_t page_size, const uint8_t *id, size_t key_max,
                  const std::string *layout) {
    Store16(h + 4, kKindHeader);
    std::memcpy(h + 8, kMagic, sizeof kMagic);
    Store32(h + 16, kFormatVersion);
    Store32(h + 20, static_cast<uint32_t>(role));
    Store32(h + 24, page_size);
    std::memcpy(h + 28, id, kStoreIdBytes);
    Store32(h + 44, static_cast<uint32_t>(key_max));
    if (layout != nullptr) {
        Store16(h + 48, static_cast<uint16_t>(layout->size()));
        std::memcpy(h + kHeaderLayoutOffset, layout->data(), layout->size());
    }
    Store32(h, crc32c::Extend(crc32c::Value(id, kStoreIdBytes), h + 4, kHeaderBytes - 4));
}

std::string KeyOfEntry(const std::string &entry) {
    return entry.substr(1, static_cast<uint8_t>(entry[0]));
}

uint32_t ChildOfEntry(const std::string &entry) {
    return Load32(reinterpret_cast<const uint8_t *>(entry.data()) + 1 +
                  static_cast<uint8_t>(entry[0]));
}

// Splits entries so that both sides hold about as many bytes.
size_t SplitPoint(const std::vector<std::string> &entries) {
    size_t total = 0;
    for (const auto &e : entries) total += e.size() + 2;
    size_t acc = 0, k = 0;
    while (k + 1 < entries.size() && acc + entries[k].size() + 2 <= total / 2)
        acc += entries[k++].size() + 2;
    return std::max<size_t>(k, 1);
}

// The store id in the header of a store file, unchecked but for its magic.
Status ReadStoreId(Env *env, const std::string &path, uint8_t *id) {
    std::unique_ptr<File> file;
    VBIS_RETURN_IF_ERROR(env->OpenFile(path, OpenMode::kRead, &file));
    uint8_t h[28 + kStoreIdBytes];
    size_t got = 0;
    VBIS_RETURN_IF_ERROR(file->Read(0, h, sizeof h, &got));
    if (got < sizeof h || std::memcmp(h + 8, kMagic, sizeof kMagic) != 0) {
        return Status::Corrupt(path + ": not a store file");
    }
    std::memcpy(id, h + 28, kStoreIdBytes);
    return Status();
}

}  // namespace

Store::Store(Env *env, std::string base) : env_(env), base_(std::move(base)) {
    for (int i = 0; i < 4; ++i) paths_[i] = PathOf(base_, i);
}

Store::~Store() = default;

// ---------------------------------------------------------------------------
// Creating, killing and renaming

Status Store::Create(Env *env, const std::string &base, const std::string &layout_text,
                     const CreateOptions &options) {
    if (base.empty()) return Status::BadArgument("empty store name");
    Layout layout;
    VBIS_RETURN_IF_ERROR(Layout::Parse(layout_text, &layout));
    if (options.key_kind != 2) return Status::BadArgument("key kind must be 2");
    if (options.reserved1 != 0 || options.reserved2 != 0) {
        return Status::BadArgument("reserved creation arguments must be 0");
    }
    uint32_t page_size =
        options.page_size == 0 ? kDefaultPageSize : static_cast<uint32_t>(options.page_size);
    if (options.page_size < 0 || !ValidPageSize(page_size)) {
        return Status::BadArgument("page size must be 0 or a power of two from 1024 to 32768");
    }
    for (int i = 0; i < 4; ++i) {
        if (env->FileExists(PathOf(base, i))) return Status::Exists(PathOf(base, i) + " exists");
    }

    uint8_t id[kStoreIdBytes];
    env->RandomBytes(id, sizeof id);
    const uint32_t seed = crc32c::Value(id, sizeof id);

    std::vector<std::string> created;
    auto undo = [&](Status s) {
        for (const auto &p : created) env->RemoveFile(p);
        if (!created.empty()) env->SyncDirOf(base);
        return s;
    };
    std::vector<uint8_t> page(page_size);
    const FileRole roles[] = {FileRole::kData, FileRole::kIndex, FileRole::kFree, FileRole::kMeta};
    for (int i = 0; i < 4; ++i) {
        std::unique_ptr<File> file;
        Status s = env->OpenFile(PathOf(base, i), OpenMode::kCreateNew, &file);
        if (!s.ok()) return undo(s);
        created.push_back(PathOf(base, i));

        std::fill(page.begin(), page.end(), 0);
        EncodeHeader(page.data(), roles[i], page_size, id, layout.key_max(),
                     i == kIsm ? &layout_text : nullptr);
        s = file->Write(0, page.data(), page_size);
        if (s.ok() && i == kIsm) {
            // Slot 1 holds the empty store at generation 1; slot 2 is unused.
            std::fill(page.begin(), page.end(), 0);
            Store16(page.data() + 4, kKindSlot);
            Store32(page.data() + 8, 1);
            Store64(page.data() + 16, 1);
            Store32(page.data() + 32, kStateClean);
            Store32(page.data() + 44, 1);
            Store32(page.data() + 48, 1);
            Store32(page.data() + 52, 1);
            SealPage(page.data(), page_size, seed);
            s = file->Write(page_size, page.data(), page_size);
            std::fill(page.begin(), page.end(), 0);
            if (s.ok()) s = file->Write(2 * page_size, page.data(), page_size);
        }
        if (s.ok()) s = file->Sync();
        if (!s.ok()) return undo(s);
    }
    Status s = env->SyncDirOf(base);
    if (!s.ok()) return undo(s);
    return Status();
}

Status Store::Kill(Env *env, const std::string &base) {
    if (base.empty()) return Status::BadArgument("empty store name");
    bool exists[4], any = false;
    for (int i = 0; i < 4; ++i) any |= exists[i] = env->FileExists(PathOf(base, i));
    if (!any) return Status::NotFound(base + ": no such store");
    std::unique_ptr<FileLock> lock;
    if (exists[kIsm]) VBIS_RETURN_IF_ERROR(env->LockFile(PathOf(base, kIsm), true, &lock));
    // The meta file goes first: without it the rest is no longer a store.
    for (int i : {kIsm, kIsd, kIsl, kIsf}) {
        if (!exists[i]) continue;
        Status s = env->RemoveFile(PathOf(base, i));
        if (!s.ok() && s.code() != VMX_NOT_FOUND) return s;
    }
    return env->SyncDirOf(base);
}

Status Store::Rename(Env *env, const std::string &from, const std::string &to) {
    if (from.empty() || to.empty()) return Status::BadArgument("empty store name");
    bool exists[4], any = false;
    for (int i = 0; i < 4; ++i) any |= exists[i] = env->FileExists(PathOf(from, i));
    if (!any) return Status::NotFound(from + ": no such store");
    // A file of `to` is in the way unless it is one that a rename of this
    // very store, stopped midway, already moved: then this one finishes it.
    uint8_t id[kStoreIdBytes];
    bool have_id = false;
    for (int i = 0; i < 4; ++i) {
        if (!env->FileExists(PathOf(to, i))) continue;
        const Status in_the_way = Status::Exists(PathOf(to, i) + " exists");
        if (exists[i]) return in_the_way;
        if (!have_id) {
            int any_from = 0;
            while (!exists[any_from]) ++any_from;
            if (!ReadStoreId(env, PathOf(from, any_from), id).ok()) return in_the_way;
            have_id = true;
        }
        uint8_t other[kStoreIdBytes];
        if (!ReadStoreId(env, PathOf(to, i), other).ok() ||
            std::memcmp(id, other, sizeof id) != 0) {
            return in_the_way;
        }
    }
    std::unique_ptr<FileLock> lock;
    if (exists[kIsm]) VBIS_RETURN_IF_ERROR(env->LockFile(PathOf(from, kIsm), true, &lock));
    for (int i = 0; i < 4; ++i) {
        if (!exists[i]) continue;
        Status s = env->RenameFile(PathOf(from, i), PathOf(to, i));
        if (!s.ok()) {
            for (int j = i - 1; j >= 0; --j) {
                if (exists[j]) env->RenameFile(PathOf(to, j), PathOf(from, j));
            }
            env->SyncDirOf(from);
            return s;
        }
    }
    VBIS_RETURN_IF_ERROR(env->SyncDirOf(to));
    if (DirOf(from) != DirOf(to)) VBIS_RETURN_IF_ERROR(env->SyncDirOf(from));
    return Status();
}

// ---------------------------------------------------------------------------
// Opening

Status Store::Open(Env *env, const std::string &base, bool writable, bool recover,
                   std::unique_ptr<Store> *store, size_t cache_pages) {
    if (base.empty()) return Status::BadArgument("empty store name");
    std::unique_ptr<Store> s(new Store(env, base));
    VBIS_RETURN_IF_ERROR(s->Load(writable, recover, cache_pages));
    *store = std::move(s);
    return Status();
}

Status Store::ReadHeader(int file, std::string *layout_text) {
    const std::string &p = path(file);
    uint8_t h[kHeaderBytes];
    size_t got = 0;
    VBIS_RETURN_IF_ERROR(files_[file]->Read(0, h, sizeof h, &got));
    if (got < sizeof h) return Status::Corrupt(p + ": file header cut short");
    if (Load16(h + 4) != kKindHeader || std::memcmp(h + 8, kMagic, sizeof kMagic) != 0) {
        return Status::Corrupt(p + ": not a store file");
    }
    uint32_t seed = crc32c::Value(h + 28, kStoreIdBytes);
    if (Load32(h) != crc32c::Extend(seed, h + 4, kHeaderBytes - 4)) {
        return Status::Corrupt(p + ": file header checksum mismatch");
    }
    if (Load32(h + 16) != kFormatVersion) {
        return Status::BadVersion(p + ": format version " + std::to_string(Load32(h + 16)) +
                                  ", this library reads version " + std::to_string(kFormatVersion));
    }
    const FileRole roles[] = {FileRole::kData, FileRole::kIndex, FileRole::kFree, FileRole::kMeta};
    if (Load32(h + 20) != static_cast<uint32_t>(roles[file])) {
        return Status::Corrupt(p + ": holds another file of a store");
    }
    if (file == kIsm) {
        page_size_ = Load32(h + 24);
        if (!ValidPageSize(page_size_)) return Status::Corrupt(p + ": bad page size");
        std::memcpy(store_id_, h + 28, kStoreIdBytes);
        crc_seed_ = seed;
        uint32_t n = Load16(h + 48);
        if (n > kHeaderBytes - kHeaderLayoutOffset)
            return Status::Corrupt(p + ": bad layout length");
        layout_text->assign(reinterpret_cast<const char *>(h + kHeaderLayoutOffset), n);
        Status s = Layout::Parse(*layout_text, &layout_);
        if (!s.ok() || layout_.key_max() != Load32(h + 44))
            return Status::Corrupt(p + ": bad layout");
        return Status();
    }
    if (std::memcmp(h + 28, store_id_, kStoreIdBytes) != 0) {
        return Status::Corrupt(p + ": belongs to another store");
    }
    if (Load32(h + 24) != page_size_) return Status::Corrupt(p + ": page size differs");
    return Status();
}

Status Store::ReadSlots() {
    std::vector<uint8_t> page(page_size_);
    bool found = false;
    uint64_t file_size[3];
    for (int i = 0; i < 3; ++i) VBIS_RETURN_IF_ERROR(files_[i]->Size(&file_size[i]));
    for (uint32_t n = 1; n <= 2; ++n) {
        size_t got = 0;
        VBIS_RETURN_IF_ERROR(
            files_[kIsm]->Read(uint64_t{n} * page_size_, page.data(), page_size_, &got));
        if (got < page_size_) continue;
        const uint8_t *d = page.data();
        if (!CheckPageFrame(d, page_size_, crc_seed_, kKindSlot, n, UINT64_MAX).empty()) continue;
        Slot s;
        s.generation = Load64(d + 16);
        s.state = Load32(d + 32);
        s.height = Load32(d + 36);
        s.root = Load32(d + 40);
        for (int f = 0; f < 3; ++f) s.pages[f] = Load32(d + 44 + 4 * f);
        s.free_first = Load32(d + 56);
        s.free_pages = Load32(d + 60);
        s.free_count[0] = Load32(d + 64);
        s.free_count[1] = Load32(d + 68);
        s.records = Load64(d + 72);
        if (found && s.generation <= slot_.generation) continue;

        // A slot that passes its checksum but describes an impossible state
        // is damage, not an older commit to fall back on.
        const std::string where = path(kIsm) + ": commit slot " + std::to_string(n);
        bool sane = (s.state == kStateClean || s.state == kStateOpen) && s.height <= 32 &&
                    s.generation >= 1;
        for (int f = 0; f < 3; ++f) sane = sane && s.pages[f] >= 1;
        if (sane && s.height == 0) sane = s.root == 0 && s.records == 0;
        if (sane && s.height > 0)
            sane = s.root >= 1 && s.root < s.pages[s.height == 1 ? kIsd : kIsl];
        uint64_t listed = uint64_t{s.free_count[0]} + s.free_count[1];
        uint64_t per_page = FreeEntriesPerPage(page_size_);
        sane = sane && s.free_count[0] < s.pages[kIsd] && s.free_count[1] < s.pages[kIsl] &&
               s.free_pages == (listed + per_page - 1) / per_page &&
               (s.free_pages == 0
                    ? s.free_first == 0
                    : s.free_first >= 1 && uint64_t{s.free_first} + s.free_pages <= s.pages[kIsf]);
        if (!sane) return Status::Corrupt(where + " is inconsistent");
        for (int f = 0; f < 3; ++f) {
            if (file_size[f] < uint64_t{s.pages[f]} * page_size_) {
                return Status::Corrupt(path(f) + ": file is cut short (" +
                                       std::to_string(file_size[f]) +
                                       " bytes, the last commit needs " +
                                       std::to_string(uint64_t{s.pages[f]} * page_size_) + ")");
            }
        }
        slot_ = s;
        found = true;
    }
    if (!found) return Status::Corrupt(path(kIsm) + ": no intact commit slot");
    return Status();
}

Status Store::LoadFreeList(std::vector<uint32_t> *free_data, std::vector<uint32_t> *free_index) {
    const std::string &p = path(kIsf);
    std::vector<uint8_t> page(page_size_);
    std::vector<uint32_t> all;
    uint32_t per_page = FreeEntriesPerPage(page_size_);
    for (uint32_t i = 0; i < slot_.free_pages; ++i) {
        uint32_t n = slot_.free_first + i;
        size_t got = 0;
        VBIS_RETURN_IF_ERROR(
            files_[kIsf]->Read(uint64_t{n} * page_size_, page.data(), page_size_, &got));
        if (got < page_size_)
            return Status::Corrupt(p + ": page " + std::to_string(n) + " is cut short");
        std::string why =
            CheckPageFrame(page.data(), page_size_, crc_seed_, kKindFree, n, slot_.generation);
        if (!why.empty()) return Status::Corrupt(p + ": " + why);
        uint32_t count = Load16(page.data() + 6);
        if (count > per_page)
            return Status::Corrupt(p + ": page " + std::to_string(n) + ": bad count");
        for (uint32_t k = 0; k < count; ++k)
            all.push_back(Load32(page.data() + kPageHeaderBytes + 4 * k));
    }
    if (all.size() != uint64_t{slot_.free_count[0]} + slot_.free_count[1]) {
        return Status::Corrupt(p + ": the free list does not hold the count its commit names");
    }
    free_data->assign(all.begin(), all.begin() + slot_.free_count[0]);
    free_index->assign(all.begin() + slot_.free_count[0], all.end());
    for (int f = 0; f < 2; ++f) {
        const auto &list = f == 0 ? *free_data : *free_index;
        std::vector<bool> seen(slot_.pages[f]);
        for (uint32_t n : list) {
            if (n == 0 || n >= slot_.pages[f] || seen[n]) {
                return Status::Corrupt(p + ": bad free page " + std::to_string(n) + " of " +
                                       path(f));
            }
            seen[n] = true;
        }
    }
    return Status();
}

Status Store::Load(bool writable, bool recover, size_t cache_pages) {
    writable_ = writable;
    if (!env_->FileExists(path(kIsm))) {
        for (int i = 0; i < 3; ++i) {
            if (env_->FileExists(path(i))) return Status::Corrupt(path(kIsm) + " is missing");
        }
        return Status::NotFound(base_ + ": no such store");
    }
    VBIS_RETURN_IF_ERROR(env_->LockFile(path(kIsm), writable, &lock_));
    for (int i = 0; i < 4; ++i) {
        Status s =
            env_->OpenFile(path(i), writable ? OpenMode::kReadWrite : OpenMode::kRead, &files_[i]);
        if (s.code() == VMX_NOT_FOUND) return Status::Corrupt(path(i) + " is missing");
        VBIS_RETURN_IF_ERROR(s);
    }
    std::string layout_text;
    VBIS_RETURN_IF_ERROR(ReadHeader(kIsm, &layout_text));
    for (int i = 0; i < 3; ++i) VBIS_RETURN_IF_ERROR(ReadHeader(i, nullptr));
    VBIS_RETURN_IF_ERROR(ReadSlots());
    if (slot_.state == kStateOpen && !recover) {
        return Status::NotClosed(base_ + ": the last write session did not end with VmxClose");
    }
    std::vector<uint32_t> free_data, free_index;
    VBIS_RETURN_IF_ERROR(LoadFreeList(&free_data, &free_index));

    height_ = slot_.height;
    root_ = slot_.root;
    records_ = slot_.records;
    const uint64_t committed = slot_.generation;
    if (writable) {
        // Mark the session open, so that a crash before Close is told apart.
        Slot marker = slot_;
        marker.generation = slot_.generation + 1;
        marker.state = kStateOpen;
        // Not synced: the mark only tells a session that never closed from a
        // clean store, and losing it with the machine loses no record.
        VBIS_RETURN_IF_ERROR(WriteSlot(marker, false));
        slot_ = marker;
        session_ = marker.generation + 1;
    }
    Pager::Params params{
        {files_[kIsd].get(), files_[kIsl].get()},
        {path(kIsd), path(kIsl)},
        page_size_,
        crc_seed_,
        layout_.key_max(),
        &layout_,
        cache_pages != 0 ? cache_pages : std::max<size_t>(64, kCacheBytes / page_size_)};
    pager_ = std::make_unique<Pager>(params);
    pager_->Reset(slot_.pages[kIsd], slot_.pages[kIsl], std::move(free_data), std::move(free_index),
                  committed, session_);
    return Status();
}

// ---------------------------------------------------------------------------
// Committing

Status Store::WriteSlot(const Slot &s, bool sync) {
    std::vector<uint8_t> page(page_size_);
    uint8_t *d = page.data();
    uint32_t n = static_cast<uint32_t>((s.generation - 1) % 2 + 1);  // generations alternate slots
    Store16(d + 4, kKindSlot);
    Store32(d + 8, n);
    Store64(d + 16, s.generation);
    Store32(d + 32, s.state);
    Store32(d + 36, s.height);
    Store32(d + 40, s.root);
    for (int f = 0; f < 3; ++f) Store32(d + 44 + 4 * f, s.pages[f]);
    Store32(d + 56, s.free_first);
    Store32(d + 60, s.free_pages);
    Store32(d + 64, s.free_count[0]);
    Store32(d + 68, s.free_count[1]);
    Store64(d + 72, s.records);
    SealPage(d, page_size_, crc_seed_);
    VBIS_RETURN_IF_ERROR(files_[kIsm]->Write(uint64_t{n} * page_size_, d, page_size_));
    return sync ? files_[kIsm]->Sync() : Status();
}

Status Store::Commit() {
    std::vector<uint32_t> free_data = pager_->FreeAfterCommit(kDataFile);
    std::vector<uint32_t> free_index = pager_->FreeAfterCommit(kIndexFile);
    std::vector<uint32_t> all = free_data;
    all.insert(all.end(), free_index.begin(), free_index.end());

    // The new free list goes where the committed one is not: before it if it
    // fits there, else after it.
    const uint32_t per_page = FreeEntriesPerPage(page_size_);
    const auto pages = static_cast<uint32_t>((all.size() + per_page - 1) / per_page);
    uint32_t first = 0;
    if (pages > 0) {
        bool fits_before = slot_.free_pages == 0 || pages <= slot_.free_first - 1;
        first = fits_before ? 1 : slot_.free_first + slot_.free_pages;
    }
    std::vector<uint8_t> page(page_size_);
    for (uint32_t i = 0; i < pages; ++i) {
        std::fill(page.begin(), page.end(), 0);
        size_t begin = size_t{i} * per_page, end = std::min(all.size(), begin + per_page);
        Store16(page.data() + 4, kKindFree);
        Store16(page.data() + 6, static_cast<uint16_t>(end - begin));
        Store32(page.data() + 8, first + i);
        Store64(page.data() + 16, session_);
        for (size_t k = begin; k < end; ++k)
            Store32(page.data() + kPageHeaderBytes + 4 * (k - begin), all[k]);
        SealPage(page.data(), page_size_, crc_seed_);
        VBIS_RETURN_IF_ERROR(
            files_[kIsf]->Write(uint64_t{first + i} * page_size_, page.data(), page_size_));
    }
    VBIS_RETURN_IF_ERROR(pager_->Flush());
    for (int f : {kIsd, kIsl, kIsf}) VBIS_RETURN_IF_ERROR(files_[f]->Sync());

    // The commit point: once this slot is on disk the session's records are.
    Slot next;
    next.generation = session_;
    next.state = kStateClean;
    next.height = height_;
    next.root = root_;
    next.pages[kIsd] = pager_->page_count(kDataFile);
    next.pages[kIsl] = pager_->page_count(kIndexFile);
    next.pages[kIsf] = std::max(slot_.pages[kIsf], first + pages);
    next.free_first = first;
    next.free_pages = pages;
    next.free_count[0] = static_cast<uint32_t>(free_data.size());
    next.free_count[1] = static_cast<uint32_t>(free_index.size());
    next.records = records_;
    VBIS_RETURN_IF_ERROR(WriteSlot(next, true));
    slot_ = next;
    return Status();
}

Status Store::Close() {
    Status s;
    if (writable_) s = broken_.ok() ? Commit() : broken_;
    pager_.reset();
    for (auto &f : files_) f.reset();
    lock_.reset();
    return s;
}

Status Store::Fail(Status status) {
    if (!status.ok() && status.code() != VMX_NOT_FOUND && status.code() != VMX_EXISTS) {
        if (writable_ && broken_.ok()) broken_ = status;
    }
    return status;
}

// ---------------------------------------------------------------------------
// The tree

Status Store::ReadTree(uint32_t level, uint32_t number, Page **page) {
    VBIS_RETURN_IF_ERROR(pager_->Read(level == 0 ? kDataFile : kIndexFile, number, page));
    if (level > 0 && Node((*page)->data.get(), page_size_, false).level() != level) {
        return Status::Corrupt(path(kIsl) + ": page " + std::to_string(number) +
                               " is at the wrong level");
    }
    return Status();
}

Status Store::FindLeaf(std::string_view key, std::vector<PathStep> *steps, Page **leaf) {
    steps->clear();
    Page *p;
    VBIS_RETURN_IF_ERROR(ReadTree(height_ - 1, root_, &p));
    for (uint32_t level = height_ - 1; level > 0; --level) {
        Node branch(p->data.get(), page_size_, false);
        int child = branch.ChildIndex(key);
        steps->push_back({p, child});
        VBIS_RETURN_IF_ERROR(ReadTree(level - 1, branch.Child(child), &p));
    }
    *leaf = p;
    return Status();
}

Status Store::Put(std::string_view key, const void *block, int mode) {
    if (!writable_) return Status::ReadOnly(base_ + ": opened for reading only");
    if (!broken_.ok()) return broken_;
    if (key.empty() || key.size() > layout_.key_max()) {
        return Status::BadArgument("key must be 1 to " + std::to_string(layout_.key_max()) +
                                   " bytes");
    }
    if (mode < VMX_PUT_UPSERT || mode > VMX_PUT_UPDATE)
        return Status::BadArgument("unknown put mode");
    std::string record;
    VBIS_RETURN_IF_ERROR(layout_.Encode(block, &record));
    std::string entry = Node::LeafEntry(key, record);
    if (entry.size() > MaxEntry(page_size_)) {
        return Status::BadArgument("record too long: at most " +
                                   std::to_string(MaxEntry(page_size_)) +
                                   " bytes with the key at this page size");
    }
    VBIS_RETURN_IF_ERROR(Fail(pager_->Trim()));

    if (height_ == 0) {
        if (mode == VMX_PUT_UPDATE) return Status::NotFound("no record has that key");
        Page *leaf;
        VBIS_RETURN_IF_ERROR(Fail(pager_->Allocate(kDataFile, &leaf)));
        Node(leaf->data.get(), page_size_, true).Insert(0, entry);
        root_ = leaf->number;
        height_ = 1;
        records_ = 1;
        return Status();
    }

    std::vector<PathStep> steps;
    Page *leaf;
    VBIS_RETURN_IF_ERROR(Fail(FindLeaf(key, &steps, &leaf)));
    bool found;
    int pos = Node(leaf->data.get(), page_size_, true).LowerBound(key, &found);
    if (mode == VMX_PUT_INSERT && found) return Status::Exists("a record has that key");
    if (mode == VMX_PUT_UPDATE && !found) return Status::NotFound("no record has that key");

    // Copy the path to fresh pages, top down, relinking each copy.
    Page *parent = nullptr;
    int parent_child = 0;
    auto writable = [&](Page *p, Page **w) -> Status {
        VBIS_RETURN_IF_ERROR(pager_->MakeWritable(p, w));
        if (*w != p) {
            if (parent == nullptr) {
                root_ = (*w)->number;
            } else {
                Node(parent->data.get(), page_size_, false).SetChild(parent_child, (*w)->number);
                pager_->MarkDirty(parent);
            }
        }
        return Status();
    };
    for (auto &step : steps) {
        VBIS_RETURN_IF_ERROR(Fail(writable(step.page, &step.page)));
        parent = step.page;
        parent_child = step.child;
    }
    VBIS_RETURN_IF_ERROR(Fail(writable(leaf, &leaf)));
    VBIS_RETURN_IF_ERROR(Fail(InsertIntoLeaf(steps, leaf, pos, found, entry)));
    if (!found) ++records_;
    return Status();
}

Status Store::InsertIntoLeaf(std::vector<PathStep> &steps, Page *leaf, int pos, bool replace,
                             const std::string &entry) {
    Node node(leaf->data.get(), page_size_, true);
    pager_->MarkDirty(leaf);
    if (replace) {
        std::string_view old = node.Entry(pos);
        if (old.size() == entry.size()) {
            std::memcpy(const_cast<char *>(old.data()), entry.data(), entry.size());
            return Status();
        }
        node.Remove(pos);
    }
    if (node.Insert(pos, entry)) return Status();

    std::vector<std::string> entries;
    for (int i = 0; i < node.count(); ++i) entries.emplace_back(node.Entry(i));
    entries.insert(entries.begin() + pos, entry);
    // Appending past the last key of the tree (a load in key order) leaves
    // the full page as it is instead of two half-empty ones.
    bool rightmost = pos == node.count();
    for (const auto &step : steps) {
        rightmost =
            rightmost && step.child == Node(step.page->data.get(), page_size_, false).count();
    }
    size_t k = rightmost ? entries.size() - 1 : SplitPoint(entries);

    Page *right;
    VBIS_RETURN_IF_ERROR(pager_->Allocate(kDataFile, &right));
    Node right_node(right->data.get(), page_size_, true);
    node.Clear();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i < k) {
            node.Insert(static_cast<int>(i), entries[i]);
        } else {
            right_node.Insert(static_cast<int>(i - k), entries[i]);
        }
    }
    return InsertSeparator(steps, KeyOfEntry(entries[k]), right->number);
}

Status Store::InsertSeparator(std::vector<PathStep> &steps, std::string separator, uint32_t right) {
    for (;;) {
        if (steps.empty()) {  // the root split: the tree grows a level
            Page *root;
            VBIS_RETURN_IF_ERROR(pager_->Allocate(kIndexFile, &root));
            Store32(root->data.get() + 24, height_);
            Store32(root->data.get() + 28, root_);
            Node(root->data.get(), page_size_, false)
                .Insert(0, Node::BranchEntry(separator, right));
            root_ = root->number;
            ++height_;
            return Status();
        }
        PathStep step = steps.back();
        steps.pop_back();
        Node branch(step.page->data.get(), page_size_, false);
        pager_->MarkDirty(step.page);
        std::string entry = Node::BranchEntry(separator, right);
        if (branch.Insert(step.child, entry)) return Status();

        std::vector<std::string> entries;
        for (int i = 0; i < branch.count(); ++i) entries.emplace_back(branch.Entry(i));
        entries.insert(entries.begin() + step.child, entry);
        size_t m = std::min(SplitPoint(entries), entries.size() - 2);
        Page *sibling;
        VBIS_RETURN_IF_ERROR(pager_->Allocate(kIndexFile, &sibling));
        Store32(sibling->data.get() + 24, branch.level());
        Node sibling_node(sibling->data.get(), page_size_, false);
        sibling_node.SetChild(0, ChildOfEntry(entries[m]));
        branch.Clear();
        for (size_t i = 0; i < entries.size(); ++i) {
            if (i < m) {
                branch.Insert(static_cast<int>(i), entries[i]);
            } else if (i > m) {
                sibling_node.Insert(static_cast<int>(i - m - 1), entries[i]);
            }
        }
        separator = KeyOfEntry(entries[m]);
        right = sibling->number;
    }
}

// ---------------------------------------------------------------------------
// Reading

Status Store::Emit(Page *leaf, int i, const char **key, void *block) {
    Node node(leaf->data.get(), page_size_, true);
    if (!layout_.Valid(node.Value(i))) {
        return Fail(Status::Corrupt(path(kIsd) + ": page " + std::to_string(leaf->number) +
                                    ": record does not match the layout"));
    }
    key_out_.assign(node.Key(i));
    layout_.Decode(node.Value(i), block, &texts_);
    if (key != nullptr) *key = key_out_.c_str();
    return Status();
}

Status Store::Get(std::string_view key, void *block) {
    if (!broken_.ok()) return broken_;
    if (key.empty() || key.size() > layout_.key_max()) {
        return Status::BadArgument("key must be 1 to " + std::to_string(layout_.key_max()) +
                                   " bytes");
    }
    VBIS_RETURN_IF_ERROR(Fail(pager_->Trim()));
    if (height_ == 0) return Status::NotFound("no record has that key");
    std::vector<PathStep> steps;
    Page *leaf;
    VBIS_RETURN_IF_ERROR(Fail(FindLeaf(key, &steps, &leaf)));
    bool found;
    int pos = Node(leaf->data.get(), page_size_, true).LowerBound(key, &found);
    if (!found) return Status::NotFound("no record has that key");
    return Emit(leaf, pos, nullptr, block);
}

Status Store::First(const char **key, void *block) {
    cursor_.reset();
    return SeekAfter(std::nullopt, key, block);
}

Status Store::Next(const char **key, void *block) {
    return SeekAfter(cursor_, key, block);
}

Status Store::SeekAfter(const std::optional<std::string> &after, const char **key, void *block) {
    if (!broken_.ok()) return broken_;
    VBIS_RETURN_IF_ERROR(Fail(pager_->Trim()));
    if (height_ == 0) return Status::NotFound("no more records");
    std::vector<PathStep> steps;
    Page *leaf;
    // With no key to follow, "" sorts before every key.
    VBIS_RETURN_IF_ERROR(Fail(FindLeaf(after ? *after : std::string(), &steps, &leaf)));
    int pos = 0;
    if (after) {
        bool found;
        pos = Node(leaf->data.get(), page_size_, true).LowerBound(*after, &found);
        pos += found;
    }
    while (pos >= Node(leaf->data.get(), page_size_, true).count()) {
        // Climb to the first branch with a child further right, then down its
        // leftmost path.
        while (!steps.empty() &&
               steps.back().child >=
                   Node(steps.back().page->data.get(), page_size_, false).count()) {
            steps.pop_back();
        }
        if (steps.empty()) return Status::NotFound("no more records");
        PathStep &step = steps.back();
        ++step.child;
        Page *p = step.page;
        uint32_t level = Node(p->data.get(), page_size_, false).level();
        uint32_t child = Node(p->data.get(), page_size_, false).Child(step.child);
        for (;;) {
            VBIS_RETURN_IF_ERROR(Fail(ReadTree(level - 1, child, &p)));
            if (--level == 0) break;
            steps.push_back({p, 0});
            child = Node(p->data.get(), page_size_, false).Child(0);
        }
        leaf = p;
        pos = 0;
    }
    if (after && !(Node(leaf->data.get(), page_size_, true).Key(pos) > *after)) {
        return Fail(Status::Corrupt(path(kIsd) + ": keys out of order between pages"));
    }
    VBIS_RETURN_IF_ERROR(Emit(leaf, pos, key, block));
    cursor_ = key_out_;
    return Status();
}

StoreInfo Store::Info() const {
    StoreInfo info;
    info.records = records_;
    info.format_version = kFormatVersion;
    info.generation = slot_.generation;
    info.page_size = page_size_;
    info.key_max = layout_.key_max();
    info.clean = slot_.state == kStateClean;
    return info;
}

// ---------------------------------------------------------------------------
// Verifying

Status Store::Walk(uint32_t level, uint32_t number, const std::string *low, const std::string *high,
                   std::vector<bool> *seen_data, std::vector<bool> *seen_index, uint64_t *records) {
    Page *p;
    VBIS_RETURN_IF_ERROR(ReadTree(level, number, &p));
    std::vector<bool> &seen = level == 0 ? *seen_data : *seen_index;
    const std::string &file = path(level == 0 ? kIsd : kIsl);
    if (seen[number])
        return Status::Corrupt(file + ": page " + std::to_string(number) + " is used twice");
    seen[number] = true;
    Node node(p->data.get(), page_size_, level == 0);
    if ((low != nullptr && node.Key(0) < *low) ||
        (high != nullptr && !(node.Key(node.count() - 1) < *high))) {
        return Status::Corrupt(file + ": page " + std::to_string(number) +
                               " holds keys outside its range");
    }
    if (level == 0) {
        std::string why = node.Check(layout_.key_max(), &layout_);
        if (!why.empty())
            return Status::Corrupt(file + ": page " + std::to_string(number) + ": " + why);
        *records += node.count();
        return pager_->Trim();
    }
    // Take what the children need before the page may leave the cache.
    std::vector<uint32_t> children;
    std::vector<std::string> keys;
    for (int i = 0; i <= node.count(); ++i) children.push_back(node.Child(i));
    for (int i = 0; i < node.count(); ++i) keys.emplace_back(node.Key(i));
    for (size_t i = 0; i < children.size(); ++i) {
        const std::string *lo = i == 0 ? low : &keys[i - 1];
        const std::string *hi = i == keys.size() ? high : &keys[i];
        VBIS_RETURN_IF_ERROR(Walk(level - 1, children[i], lo, hi, seen_data, seen_index, records));
    }
    return Status();
}

Status Store::Verify(Env *env, const std::string &base, uint64_t *records) {
    std::unique_ptr<Store> store;
    VBIS_RETURN_IF_ERROR(Open(env, base, false, false, &store));
    Store &s = *store;
    std::vector<bool> seen_data(s.slot_.pages[kIsd]), seen_index(s.slot_.pages[kIsl]);
    uint64_t counted = 0;
    if (s.height_ > 0) {
        VBIS_RETURN_IF_ERROR(
            s.Walk(s.height_ - 1, s.root_, nullptr, nullptr, &seen_data, &seen_index, &counted));
    }
    if (counted != s.slot_.records) {
        return Status::Corrupt(s.path(kIsm) + ": the commit counts " +
                               std::to_string(s.slot_.records) + " records, the tree holds " +
                               std::to_string(counted));
    }
    // Every page is either in the tree or free, never both, never neither.
    for (int f = 0; f < 2; ++f) {
        std::vector<bool> &seen = f == 0 ? seen_data : seen_index;
        std::vector<bool> free(seen.size());
        for (uint32_t n : s.pager_->FreeAfterCommit(f == 0 ? kDataFile : kIndexFile))
            free[n] = true;
        for (size_t n = 1; n < seen.size(); ++n) {
            if (seen[n] == free[n]) {
                return Status::Corrupt(
                    s.path(f) + ": page " + std::to_string(n) +
                    (seen[n] ? " is both in use and free" : " is neither in use nor free"));
            }
        }
    }
    *records = counted;
    return s.Close();
}

}  // namespace vbis
