#include "rebuild/registry_installation.h"

#include <cstdlib>
#include <optional>

#include "rebuild/platform_error.h"
#include "rebuild/registry_build.h"
#include "vbis4032.h"

namespace rebuild {

void EndWithRegistryUnchanged(Ui &ui, const char *message) {
    ui.ShowMessage(message, MessageStyle::kWarning, std::nullopt);
    ui.EndProgram();
    std::abort();  // EndProgram does not return; nothing may run on if it did
}

namespace {

class Installation {
  public:
    Installation(Module1 &module1, Platform &platform, const std::string &program_dir)
        : module1_(module1),
          ui_(platform.ui),
          files_(platform.file_system),
          temp_(StorePath(program_dir, kTempStoreName)),
          registry_(StorePath(program_dir, kRegistryStoreName)),
          staged_(StorePath(program_dir, kStagedStoreName)),
          previous_(StorePath(program_dir, kPreviousStoreName)) {}

    [[noreturn]] void Run() {
        SortOutLeftovers();

        // Stage the new registry beside the old one.
        bool staged = true;
        for (const char *extension : kStoreExtensions) {
            try {
                files_.CopyFile(temp_ + extension, staged_ + extension);
            } catch (const PlatformError &) {
                staged = false;
                CopyFailed();
            }
        }
        if (staged && module1_.VmxVerify(staged_) != VMX_OK) {
            staged = false;
            CopyFailed();
        }
        if (!staged) Abandon(kNotModifiedMessage);

        // Move the old registry aside, then the new one into its place.
        const int16_t aside = module1_.VmxRename(registry_, previous_);
        const bool had_registry = aside == VMX_OK;
        if (aside == VMX_IN_USE) Abandon(kInUseMessage);
        if (aside != VMX_OK && aside != VMX_NOT_FOUND) {
            CopyFailed();
            Abandon(kNotModifiedMessage);
        }
        if (module1_.VmxRename(staged_, registry_) != VMX_OK) {
            CopyFailed();
            // Should even this fail, the old registry waits under its other
            // name, and the next installation puts it back first.
            if (had_registry && module1_.VmxRename(previous_, registry_) != VMX_OK) CopyFailed();
            Abandon(kNotModifiedMessage);
        }

        // The new registry is in place: the old one can go.
        if (had_registry && module1_.VmxKill(previous_) != VMX_OK) CopyFailed();
        ui_.ShowMessage(kDoneMessage, MessageStyle::kInformation, std::string());
        ui_.EndProgram();
        std::abort();  // as above
    }

  private:
    void CopyFailed() { ui_.ShowMessage(kCopyErrorMessage, MessageStyle::kPlain, std::nullopt); }

    // Removes the staged store, tells the operator and ends the program.
    // Should the removal fail, the next installation drops what is left.
    [[noreturn]] void Abandon(const char *message) {
        if (Exists(staged_)) module1_.VmxKill(staged_);
        EndWithRegistryUnchanged(ui_, message);
    }

    bool Exists(const std::string &store) {
        for (const char *extension : kStoreExtensions) {
            if (files_.FileExists(store + extension)) return true;
        }
        return false;
    }

    // An installation stopped midway (the machine went down) may have left a
    // staged store, which is dropped, and the old registry moved aside, in
    // part or whole: put back if no sound registry took its place, dropped if
    // one did.
    void SortOutLeftovers() {
        if (Exists(staged_)) Require(module1_.VmxKill(staged_));
        if (!Exists(previous_)) return;
        if (!Exists(registry_)) {
            Require(module1_.VmxRename(previous_, registry_));
            return;
        }
        const int16_t registry_state = module1_.VmxVerify(registry_);
        if (registry_state == VMX_IN_USE) EndWithRegistryUnchanged(ui_, kInUseMessage);
        if (registry_state == VMX_OK) {
            Require(module1_.VmxKill(previous_));
            return;
        }
        // The move aside may have stopped midway, leaving the registry's
        // files under both names: finishing it makes the old registry whole,
        // and it goes back.
        if (module1_.VmxRename(registry_, previous_) == VMX_OK) {
            Require(module1_.VmxRename(previous_, registry_));
            return;
        }
        // Else the registry is damaged: the old one comes back if it is
        // sound, else both stay for a person to look at.
        if (module1_.VmxVerify(previous_) != VMX_OK) EndWithRegistryUnchanged(ui_);
        Require(module1_.VmxKill(registry_));
        Require(module1_.VmxRename(previous_, registry_));
    }

    // Ends the program, the registry unchanged, unless `result` is success.
    void Require(int16_t result) {
        if (result == VMX_IN_USE) EndWithRegistryUnchanged(ui_, kInUseMessage);
        if (result != VMX_OK) EndWithRegistryUnchanged(ui_);
    }

    Module1 &module1_;
    Ui &ui_;
    FileSystem &files_;
    std::string temp_, registry_, staged_, previous_;
};

}  // namespace

void InstallRegistry(Module1 &module1, Platform &platform, const std::string &program_dir) {
    Installation(module1, platform, program_dir).Run();
}

}  // namespace rebuild
