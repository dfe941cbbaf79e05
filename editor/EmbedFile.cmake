# Writes a C++ source that defines a byte array holding a file's contents.
# Run as: cmake -DINPUT=file -DOUTPUT=source.cpp -DNAMESPACE=ns -DNAME=symbol -P EmbedFile.cmake
# It defines `const unsigned char NAME[]` and `const std::size_t NAMESize`.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Twenty bytes to a line.
string(REPEAT "0x..," 20 line)
string(REGEX REPLACE "(${line})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; do not edit.
#include <cstddef>

namespace ${NAMESPACE} {

extern const unsigned char ${NAME}[];
extern const std::size_t ${NAME}Size;

const unsigned char ${NAME}[] = {
    ${bytes}
};
const std::size_t ${NAME}Size = ${size};

} // namespace ${NAMESPACE}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
