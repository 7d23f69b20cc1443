// The registry build: a complete new company registry in the temporary store
// "temp" of the program's directory. Every code of KnownCodes gets an empty
// placeholder record, then every company found gets its own, named by its
// code ("Azienda di prova" for the test company "YY").
#pragma once

#include <cstdint>
#include <string>

#include "rebuild/discovery.h"
#include "rebuild/module1.h"
#include "rebuild/platform.h"

namespace rebuild {

inline constexpr char kTempStoreName[] = "temp";
inline constexpr char kTestCompanyCode[] = "YY";
inline constexpr char kTestCompanyName[] = "Azienda di prova";
inline constexpr char kCreateErrorMessage[] = "Errore creazione file temp ";

// The text shown when the creation of the temporary store fails: the fixed
// text, then the result in decimal with a leading space when it is not
// negative ("... temp  5", "... temp -1").
std::string CreateErrorText(int16_t result);

// Builds the temporary store with the store calls of `module1`: kill, create,
// open, the placeholders in table order, the companies in the order found,
// close. A failed creation is reported and the build carries on. Returns true
// when every call from the creation to the close returned 0: only then is
// the temporary store a complete registry.
bool BuildRegistry(Module1 &module1, Ui &ui, const FoundCompanies &found);

}  // namespace rebuild
