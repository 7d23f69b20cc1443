// Helpers shared by the store's tests: a temporary directory, the registry's
// record block, and reading a whole store back through the C interface.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vbis4032.h"

namespace vbis::test {

// A fresh directory, removed with its contents at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    std::string operator/(const std::string &name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

constexpr const char *kRegistryLayout = "x40$,$,$,$,%,%,$";

// A record of kRegistryLayout; Block() refers to this object's texts.
struct Record {
    Record(std::string name_ = "", int16_t flag5_ = 0, int16_t flag6_ = 0, std::string text3_ = "",
           std::string text7_ = "")
        : name(std::move(name_)),
          text3(std::move(text3_)),
          text7(std::move(text7_)),
          flag5(flag5_),
          flag6(flag6_) {}

    std::string name, text2, text3, text4, text7;
    int16_t flag5 = 0, flag6 = 0;

    std::vector<unsigned char> Block() const;
    static Record FromBlock(const void *block);
    bool operator==(const Record &) const = default;
};

int16_t CreateStore(const std::string &base, const char *layout = kRegistryLayout,
                    int32_t page_size = 0);
int16_t OpenStore(const std::string &base, int16_t access, int32_t *handle, int16_t flags = 0);
int16_t Put(int32_t handle, const std::string &key, const Record &record, int16_t mode = 0);
// Creates `base` and puts `records` in one session.
void MakeStore(const std::string &base, const std::map<std::string, Record> &records,
               int32_t page_size = 0);

// Every record in key order, read with VmxFirst/VmxNext; *result receives the
// first result that was neither VMX_OK nor the end of the records.
std::map<std::string, Record> ReadAll(const std::string &base, int16_t *result, int16_t flags = 0);

int16_t Verify(const std::string &base, int32_t *records = nullptr, std::string *message = nullptr);

std::string ReadFile(const std::string &path);
void WriteFile(const std::string &path, const std::string &bytes);
bool Exists(const std::string &path);

}  // namespace vbis::test
