// Registration scripts (the ".rgs" language), parsed into the keys they describe:
//
//   HKCR
//   {
//       Foo.Bar.1 = s 'Foo Class'             a key with its default value
//       {
//           CLSID = s '{...}'
//       }
//       NoRemove CLSID                        never removed; its subkeys are processed
//       {
//           ForceRemove {...} = s 'Foo Class' deleted whole before it is written again,
//           {                                 and deleted whole on unregistration
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Apartment'    a named value of the key
//               }
//               ForceRemove 'Programmable'    a key alone; names may be quoted
//           }
//       }
//       Delete Obsolete.Key                   deleted on registration, left alone after
//   }
//
// Tokens are separated by white space; a run made of braces alone is braces, so a GUID such
// as {0D5C...} is a key name. Quoted text is in single quotes, '' standing for one quote.
// Keywords (HKCR or HKEY_CLASSES_ROOT, NoRemove, ForceRemove, Delete, val, s) ignore case
// and are keywords only unquoted. Only HKEY_CLASSES_ROOT and string values exist here.
// %NAME% in names and quoted text is replaced by the caller's value (names ignore case), %%
// is one percent sign; the replacement happens after tokenising, so a value may hold quotes,
// braces or spaces.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistrarKeyKind { kPlain, kNoRemove, kForceRemove, kDelete };

struct RegistrarKey {
    RegistrarKeyKind kind = RegistrarKeyKind::kPlain;
    std::u16string name;
    std::optional<std::u16string> default_value;
    std::vector<std::pair<std::u16string, std::u16string>> values;  // val Name = s '...'
    std::vector<RegistrarKey> subkeys;
};

// Replacement names without their percent signs, e.g. {"MODULE", "/usr/lib/libfoo.so"}.
using RegistrarReplacementMap = std::map<std::string, std::string>;

// Fills root (HKEY_CLASSES_ROOT itself, a kNoRemove key) with the script's keys. On failure
// returns false with "line N: what is wrong".
bool ParseRegistrarScript(std::string_view script, const RegistrarReplacementMap& replacements,
                          RegistrarKey* root, std::string* error);

}  // namespace platform
