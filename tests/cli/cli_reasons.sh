#!/usr/bin/env bash
# The tool's explanations of refused input come from the library: for each
# refused input the library's reason (rfc_oneshot reason, the refusal
# functions called directly) is read, and the tool's message must carry the
# same offset and say the same thing in the tool's words.
. "$(dirname "$0")/lib.sh"

# The tool's option for each base decode flag the library names.
base_option() {
    case $1 in
    RFC_BASE_FLAG_DECODE_IGNORE_NLF) echo "dropping --strict-newlines" ;;
    RFC_BASE_FLAG_DECODE_IGNORE_WHITE_SPACE) echo "--ignore-white-space" ;;
    RFC_BASE_FLAG_DECODE_IGNORE_NON_ALPHABET) echo "--ignore-non-alphabet" ;;
    RFC_BASE_FLAG_DECODE_IGNORE_PADDING) echo "--ignore-padding" ;;
    RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PAD_BITS) echo "--accept-invalid-pad-bits" ;;
    RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_PADDING) echo "--accept-invalid-padding" ;;
    RFC_BASE_FLAG_DECODE_ACCEPT_INVALID_LENGTH) echo "--accept-invalid-length" ;;
    esac
}

# base64 text, decoded with newlines skipped (the tool's default, flag 4).
for text in 'Zm9vY' 'Zm8' 'Zh==' 'Zm9v!YmFy' 'Zm9v=YmFy' 'Zg==Zg==' 'Zm9vYmF' '=' 'Z' 'Zm9v\tYg=='; do
    printf "$text" > "$work/in"
    reason=$("$ONESHOT" reason base 3 4 < "$work/in")
    offset=${reason%% *}
    flags=${reason#* }
    "$RFC" base64 -d "$work/in" > /dev/null 2> "$work/message"
    message=$(cat "$work/message")
    if [ "$flags" = none ]; then
        want="rfc base64: invalid base64 text at offset $offset (no option accepts it)"
    else
        options=""
        IFS=', ' read -r -a names <<< "$flags"
        for name in "${names[@]}"; do
            [ -n "$name" ] && options="$options${options:+ }$(base_option "$name")"
        done
        want="rfc base64: invalid base64 text at offset $offset (accepted with: $options)"
    fi
    expect "base64 '$text': the library's offset and flags" 0 "$want" -- echo "$message"
done

# quoted-printable: the library's kind and offset.
qp_reason() {
    case $1 in
    RFC_QUOP_DECODE_REFUSAL_CONTROL) echo "a control byte or a line break not named by --input-nlf (--ignore-control accepts it)" ;;
    RFC_QUOP_DECODE_REFUSAL_NON_ASCII) echo "a byte above 126 (--ignore-non-ascii accepts it)" ;;
    RFC_QUOP_DECODE_REFUSAL_INVALID_ENCODING) echo "an \"=\" that starts neither an escape nor a soft line break (--accept-invalid accepts it)" ;;
    RFC_QUOP_DECODE_REFUSAL_SMALL_HEX_DIGITS) echo "an escape with lower-case hexadecimal digits (--accept-small-hex accepts it)" ;;
    esac
}
for text in 'a=3d' 'a\001b' 'ab\377' 'x=G1' 'abc=' 'line\r\nnext=4' 'a\rb'; do
    printf "$text" > "$work/in"
    read -r kind offset <<< "$("$ONESHOT" reason qp < "$work/in")"
    "$RFC" qp -d "$work/in" > /dev/null 2> "$work/message"
    expect "qp '$text': the library's kind and offset" 0 "rfc qp: input refused at offset $offset: $(qp_reason "$kind")" -- cat "$work/message"
done

# Header tokens: kind, offset and the token's offset.
for text in 'a "bc' '(a\rb)' '[a[b]' '(a(b)' 'x [a\\'; do
    printf "$text" > "$work/in"
    read -r kind offset tokenOffset <<< "$("$ONESHOT" reason mail < "$work/in")"
    case $kind in
    *UNTERMINATED) pattern="^rfc mail-tokens: unterminated [a-z-]+ at offset $tokenOffset \\(the text ends at offset $offset inside it\\)$" ;;
    *BROKEN_LINE_BREAK) pattern="^rfc mail-tokens: broken line break in the [a-z-]+ at offset $tokenOffset: the CR at offset $offset " ;;
    *NESTED_BRACKET) pattern="^rfc mail-tokens: broken domain-literal at offset $tokenOffset: unescaped \"\\[\" at offset $offset$" ;;
    *) pattern="no reason from the library" ;;
    esac
    expect "mail-tokens '$text' refused" 1 "" -- "$RFC" mail-tokens "$(cat "$work/in")"
    expect_stderr "mail-tokens '$text': the library's kind and offsets" "$pattern"
done

# stringprep: the line is the library's text.
for case in "saslprep:a\ab" "nameprep:\u1680" "iscsi:a/b" "nodeprep:a\uff20b" "resourceprep:\u05d0A" "saslprep:\u06271" "nameprep:\u0221" "trace:a\u200eb"; do
    profile=${case%%:*}
    printf "${case#*:}" > "$work/in"
    reason=$("$ONESHOT" reason stringprep "$profile" < "$work/in")
    expect "stringprep $profile '${case#*:}': the library's text" 1 "refused: $reason" -- "$RFC" stringprep "$profile" "$(cat "$work/in")"
done

finish
