#include "rebuild/registry_build.h"

#include <optional>

#include "rebuild/known_codes.h"

namespace rebuild {

namespace {

// What VmxCreate and VmxOpen are given for the registry.
constexpr int16_t kKeyKind = 2;          // keys are byte texts
constexpr int32_t kDefaultPageSize = 0;  // the library's own page size
constexpr int16_t kOpenFlags = 0;        // no recovery of an unclean store
constexpr int16_t kReadWrite = 3;        // open for reading and writing
constexpr int16_t kAddOrReplace = 0;     // the later record under a key wins

}  // namespace

std::string CreateErrorText(int16_t result) {
    return std::string(kCreateErrorMessage) + (result >= 0 ? " " : "") + std::to_string(result);
}

bool BuildRegistry(Module1 &module1, Ui &ui, const FoundCompanies &found) {
    std::string temp_store = StorePath(found.ProgramDir, kTempStoreName);
    int32_t store_handle = 0;
    bool complete = true;
    auto record = [&complete](int16_t result) { complete = complete && result == 0; };

    module1.VmxKill(temp_store);  // whether there was one or not
    const int16_t created =
        module1.VmxCreate(temp_store, kKeyKind, kDefaultPageSize, 0, 0, CompanyRecordLayout);
    record(created);
    if (created != 0) {
        ui.ShowMessage(CreateErrorText(created), MessageStyle::kInformation, std::nullopt);
    }
    record(module1.VmxOpen(temp_store, kOpenFlags, kReadWrite, store_handle));

    CompanyRecord &company = module1.CompanyRecord;
    company.Text2.clear();
    company.Text3.clear();
    company.Text4.clear();
    company.Name.clear();
    company.Flag5 = 0;
    company.Flag6 = 0;
    for (std::string_view code : KnownCodes) {
        record(module1.VmxPut(store_handle, code, company, kAddOrReplace));
    }

    for (int16_t slot = 1; slot <= found.FoundCount; ++slot) {
        std::string code = found.FoundCodes[static_cast<std::size_t>(slot)];
        company.Name = code == kTestCompanyCode ? kTestCompanyName : code;
        company.Flag5 = 1;
        company.Flag6 = 1;
        record(module1.VmxPut(store_handle, code, company, kAddOrReplace));
    }

    record(module1.VmxClose(store_handle));
    return complete;
}

}  // namespace rebuild
