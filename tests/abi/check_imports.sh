#!/usr/bin/env bash
# The module uses the runtime's documented interface only: every runtime
# symbol that libcorvanead-rfc imports is on the list below, so the module
# loads on any runtime that offers that interface. The list is the runtime
# interface the module is written against, plus the additions the README's
# runtime section names (retain, release, the memory functions, and the
# two constructors that complete pairs the interface already has).
set -u
library=$1
allowed='
pb___ObjCreate pb___ObjFree pbObjSort pbObjCompare pbObjToString pb___Abort
pbStringCreate pbStringCreateFromCstr pbStringCreateFromAscii pbStringCreateFromCharsCopy
pbStringLength pbStringBacking pbStringCharAt pbStringAppend pbStringAppendChar
pbStringAppendChars pbStringPrependChar pbStringDelLeading pbStringDelTrailing
pbStringNormalize pbStringConvertToAscii pbStringObj pbStringFrom
pbBufferCreate pbBufferCreateFromBytesUse pbBufferLength pbBufferBacking
pbBufferAppendByte pbBufferAppendBytes pbBufferDelTrailing
pbVectorCreate pbVectorLength pbVectorObjAt pbVectorAppendObj pbVectorDelAt pbVectorContainsOnly
pbDictCreate pbDictSetObjKey pbDictStringKey pbDictIntKey
pbBoxedIntCreate pbBoxedIntValue pbBoxedIntObj pbBoxedIntFrom
pbEnumCreate pbEnumSetEnumerantCstr pbEnumParse pbEnumGenerate
pbFlagsetCreate pbFlagsetSetFlagCstr pbFlagsetHasFlagCstr pbFlagsetParse pbFlagsetGenerate
pbStoreCreate pbStoreSetValueCstr pbStoreSetValueIntCstr pbStoreValueCstr pbStoreValueIntCstr
pbNlfFlagsToString pbNlfFlagsFromString
pbUnicodeIsNlf pbUnicodeIsWhiteSpace
pbIntMin pbIntBitHighest pbMemSet
pbObjRetain pbObjRelease pbMemAlloc pbMemRealloc pbMemFree
pbStringCreateFromCharsUse pbBufferCreateFromBytesCopy
'
imports=$(nm -D --undefined-only "$library" | awk '{print $NF}' | sed 's/@.*//' | grep -E '^pb')
if [ -z "$imports" ]; then
    echo "FAILED: $library imports nothing of the runtime (nm failed?)"
    echo "0 passed, 1 failed"
    exit 1
fi
outside=$(for symbol in $imports; do
    case " $(echo $allowed) " in *" $symbol "*) ;; *) echo "$symbol" ;; esac
done)
if [ -n "$outside" ]; then
    echo "FAILED: $library imports runtime symbols outside the documented interface:"
    echo "$outside"
    echo "0 passed, 1 failed"
    exit 1
fi
echo "1 passed, 0 failed"
