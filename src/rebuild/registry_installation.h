// The registry installation: the temporary store takes the place of the
// registry "velko", and the program ends.
//
// The old registry is never deleted or overwritten before the new one is
// complete beside it. The four files of "temp" are copied, each synced, to
// the staging store "velko.new", which the library then verifies; the old
// registry moves aside to "velko.old", the staged store moves to "velko",
// and only then is the old one deleted. A failure at any step leaves the old
// registry whole under its own name (or no registry, if there was none), and
// what an interrupted earlier installation left is sorted out first.
#pragma once

#include <array>
#include <string>

#include "rebuild/module1.h"
#include "rebuild/platform.h"

namespace rebuild {

inline constexpr char kRegistryStoreName[] = "velko";
inline constexpr char kStagedStoreName[] = "velko.new";
inline constexpr char kPreviousStoreName[] = "velko.old";
inline constexpr std::array<const char *, 4> kStoreExtensions = {".isd", ".isl", ".isf", ".ism"};

inline constexpr char kCopyErrorMessage[] = "Si è verificato un errore durante la copia";
inline constexpr char kDoneMessage[] = "Operazione effettuata";
inline constexpr char kNotModifiedMessage[] = "L'archivio velko non è stato modificato";
inline constexpr char kInUseMessage[] =
    "L'archivio velko è in uso da un altro programma e non è stato modificato";

// Puts the temporary store of `program_dir` in place of the registry, tells
// the operator how it went, and ends the program. Each failed step is told
// with kCopyErrorMessage; the end is kDoneMessage when the new registry is in
// place, else kNotModifiedMessage (kInUseMessage when another program holds
// the registry).
[[noreturn]] void InstallRegistry(Module1 &module1, Platform &platform,
                                  const std::string &program_dir);

// Tells the operator that the registry was not changed, and ends the program.
[[noreturn]] void EndWithRegistryUnchanged(Ui &ui, const char *message = kNotModifiedMessage);

}  // namespace rebuild
