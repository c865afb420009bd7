// Helpers of the stringprep tests: code point lists as the data files write
// them, and the profiles by name.
#ifndef RFC_STRINGPREP_TEST_SUPPORT_H
#define RFC_STRINGPREP_TEST_SUPPORT_H

#include <rfc/stringprep/rfc_stringprep.h>

#include <string>
#include <string_view>

namespace sptest {

// "0041 00AD 0062" <-> U"\u0041\u00AD\u0062"; an empty text is the empty
// string.
std::u32string parseChars(std::string_view hex);
std::string formatChars(std::u32string_view chars);

// One code point as a one-element string.
std::u32string one(char32_t c);

using Profile = PB_STRING *(*)(PB_STRING *source, PB_BOOL allowUnassigned);

// The profile of a name as the command-line tool spells it ("nameprep",
// "policy-mib", ...); profiles without the allowUnassigned argument ignore
// it. Null for an unknown name.
Profile profileByName(std::string_view name);

// The profile composed step by step from the exported mapping, NFKC,
// prohibition, bidi and unassigned functions, one string per step, in the
// order the profile's RFC gives: the prepared code points as formatChars
// writes them, or "REFUSED". source is only read.
std::string prepareComposed(std::string_view profile, PB_STRING *source, PB_BOOL allowUnassigned);

} // namespace sptest

#endif
