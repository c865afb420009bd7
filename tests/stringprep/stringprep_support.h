// Helpers of the stringprep tests and fuzzer: code point lists as the data
// files write them, the profiles by name, and the profiles composed from the
// exported steps.
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

using Profile = PB_STRING *(*)(PB_STRING *source, PB_BOOL allowUnassigned);

// The profiles as the command-line tool names them.
inline constexpr const char *kProfiles[] = { "iscsi", "nameprep", "nodeprep", "policy-mib", "resourceprep", "saslprep", "trace" };

// The profile of a name; profiles without the allowUnassigned argument
// ignore it. Null for an unknown name.
Profile profileByName(std::string_view name);

// The profile composed step by step from the exported mapping, NFKC,
// prohibition, bidi and unassigned functions, one string per step, in the
// order the profile's RFC gives: the prepared code points as formatChars
// writes them, or "REFUSED". source is only read.
std::string prepareComposed(std::string_view profile, PB_STRING *source, PB_BOOL allowUnassigned);

// Why the composed profile refuses source, found as a reader of the RFCs
// would: its stages one after the other, each code point tested alone with
// the exported predicates. "STAGE U+XXXX at N" (STAGE one of prohibited,
// bidi, unassigned; N the offset in the prepared string), or the prepared
// code points when nothing refuses.
std::string explainComposed(std::string_view profile, PB_STRING *source, PB_BOOL allowUnassigned);

// A library refusal in the form explainComposed writes.
std::string formatRefusal(const RFC_STRINGPREP_REFUSAL &refusal);

} // namespace sptest

#endif
