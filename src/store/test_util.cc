#include "test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vbis::test {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vbis-test-XXXXXX").string();
    char *made = mkdtemp(tmpl.data());
    if (made == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = made;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<unsigned char> Record::Block() const {
    std::vector<unsigned char> b(5 * sizeof(const char *) + 4);
    size_t off = 0;
    auto text = [&](const std::string &s) {
        const char *p = s.c_str();
        std::memcpy(b.data() + off, &p, sizeof p);
        off += sizeof p;
    };
    auto number = [&](int16_t v) {
        std::memcpy(b.data() + off, &v, sizeof v);
        off += sizeof v;
    };
    text(name);
    text(text2);
    text(text3);
    text(text4);
    number(flag5);
    number(flag6);
    text(text7);
    return b;
}

Record Record::FromBlock(const void *block) {
    const auto *b = static_cast<const unsigned char *>(block);
    Record r;
    size_t off = 0;
    auto text = [&](std::string *s) {
        const char *p;
        std::memcpy(&p, b + off, sizeof p);
        off += sizeof p;
        *s = p;
    };
    auto number = [&](int16_t *v) {
        std::memcpy(v, b + off, sizeof *v);
        off += sizeof *v;
    };
    text(&r.name);
    text(&r.text2);
    text(&r.text3);
    text(&r.text4);
    number(&r.flag5);
    number(&r.flag6);
    text(&r.text7);
    return r;
}

int16_t CreateStore(const std::string &base, const char *layout, int32_t page_size) {
    const char *name = base.c_str();
    int16_t kind = 2, zero = 0;
    return VmxCreate(&name, &kind, &page_size, &zero, &zero, &layout);
}

int16_t OpenStore(const std::string &base, int16_t access, int32_t *handle, int16_t flags) {
    const char *name = base.c_str();
    return VmxOpen(&name, &flags, &access, handle);
}

int16_t Put(int32_t handle, const std::string &key, const Record &record, int16_t mode) {
    const char *k = key.c_str();
    auto block = record.Block();
    return VmxPut(&handle, &k, block.data(), &mode);
}

void MakeStore(const std::string &base, const std::map<std::string, Record> &records,
               int32_t page_size) {
    ASSERT_EQ(CreateStore(base, kRegistryLayout, page_size), VMX_OK);
    int32_t h = 0;
    ASSERT_EQ(OpenStore(base, VMX_ACCESS_READWRITE, &h), VMX_OK);
    for (const auto &[key, record] : records) ASSERT_EQ(Put(h, key, record), VMX_OK) << key;
    ASSERT_EQ(VmxClose(&h), VMX_OK);
}

std::map<std::string, Record> ReadAll(const std::string &base, int16_t *result, int16_t flags) {
    std::map<std::string, Record> out;
    int32_t h = 0;
    *result = OpenStore(base, VMX_ACCESS_READ, &h, flags);
    if (*result != VMX_OK) return out;
    std::vector<unsigned char> block(5 * sizeof(const char *) + 4);
    const char *key = nullptr;
    int16_t r = VmxFirst(&h, &key, block.data());
    while (r == VMX_OK) {
        out[key] = Record::FromBlock(block.data());
        r = VmxNext(&h, &key, block.data());
    }
    *result = r == VMX_NOT_FOUND ? int16_t{VMX_OK} : r;
    VmxClose(&h);
    return out;
}

int16_t Verify(const std::string &base, int32_t *records, std::string *message) {
    const char *name = base.c_str();
    int32_t count = -1, size = 512;
    char text[512] = "";
    int16_t r = VmxVerify(&name, &count, text, &size);
    if (records != nullptr) *records = count;
    if (message != nullptr) *message = text;
    return r;
}

std::string ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string &path, const std::string &bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string &path) {
    return std::filesystem::exists(std::filesystem::symlink_status(path));
}

}  // namespace vbis::test
