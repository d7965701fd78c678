// OPOS binary conversion between byte blocks and single-byte text. Nibble mode writes each
// byte as two characters 0x30 + nibble ("0".."?"), decimal mode as three digits; any mode
// other than nibble or decimal is treated as no conversion.
#include "opostr.h"

#include <cstring>
#include <new>

namespace {

constexpr char kNibbleChars[] = "0123456789:;<=>?";
constexpr char kDecimalChars[] = "0123456789 ";  // a blank reads as digit 0

constexpr size_t kMaxBytes = static_cast<size_t>(INT32_MAX);  // largest length reportable

inline unsigned Low4(unsigned char c) {
    return c & 0x0Fu;
}

}  // namespace

uint8_t* COPOStr::StringToBytes(const char* text, int32_t* length, int32_t mode) const {
    if (length == nullptr) return nullptr;
    *length = 0;
    if (text == nullptr) return nullptr;
    if (mode == -1) mode = m_nMode;

    // Only the leading run of characters valid for the mode carries data; an incomplete
    // trailing group is dropped.
    size_t count;
    if (mode == OPOS_BC_NIBBLE) {
        count = std::strspn(text, kNibbleChars) / 2;
    } else if (mode == OPOS_BC_DECIMAL) {
        count = std::strspn(text, kDecimalChars) / 3;
    } else {
        count = std::strlen(text);
    }
    if (count == 0 || count > kMaxBytes) return nullptr;

    uint8_t* block = new (std::nothrow) uint8_t[count + 1]();
    if (block == nullptr) return nullptr;

    const auto* src = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < count; ++i) {
        if (mode == OPOS_BC_NIBBLE) {
            block[i] = static_cast<uint8_t>((Low4(src[2 * i]) << 4) | Low4(src[2 * i + 1]));
        } else if (mode == OPOS_BC_DECIMAL) {
            // Triples above 255 keep only their low 8 bits ("999" -> 231).
            const unsigned value =
                100 * Low4(src[3 * i]) + 10 * Low4(src[3 * i + 1]) + Low4(src[3 * i + 2]);
            block[i] = static_cast<uint8_t>(value & 0xFFu);
        } else {
            block[i] = src[i];
        }
    }
    *length = static_cast<int32_t>(count);
    return block;
}

std::string COPOStr::BytesToString(const uint8_t* data, int32_t count, int32_t mode) const {
    if (data == nullptr || count < 1) return std::string();
    if (mode == -1) mode = m_nMode;

    const size_t width = mode == OPOS_BC_NIBBLE ? 2 : mode == OPOS_BC_DECIMAL ? 3 : 1;
    std::string text;
    try {
        text.assign(static_cast<size_t>(count) * width, '0');
    } catch (const std::bad_alloc&) {
        return std::string();
    }

    // Digits and nibbles are ORed into the '0' (0x30) placeholders.
    for (size_t i = 0; i < static_cast<size_t>(count); ++i) {
        const unsigned byte = data[i];
        if (mode == OPOS_BC_NIBBLE) {
            text[2 * i] = static_cast<char>(text[2 * i] | (byte >> 4));
            text[2 * i + 1] = static_cast<char>(text[2 * i + 1] | (byte & 0x0Fu));
        } else if (mode == OPOS_BC_DECIMAL) {
            text[3 * i] = static_cast<char>(text[3 * i] | (byte / 100));
            text[3 * i + 1] = static_cast<char>(text[3 * i + 1] | (byte / 10 % 10));
            text[3 * i + 2] = static_cast<char>(text[3 * i + 2] | (byte % 10));
        } else {
            text[i] = static_cast<char>(byte);
        }
    }

    // The result is C text: without conversion a zero byte ends it.
    const size_t end = text.find('\0');
    if (end != std::string::npos) text.resize(end);
    return text;
}

uint8_t* COPOStr::WideToBytes(const char16_t* units, int32_t* length, int32_t mode) const {
    if (length == nullptr) return nullptr;
    *length = 0;
    if (units == nullptr) return nullptr;

    size_t count = 0;
    while (units[count] != u'\0') ++count;
    if (count == 0 || count > kMaxBytes) return nullptr;

    // Same result as wctomb in the C locale: one byte per unit, the unit's value if it fits in
    // a byte; an unconvertible unit keeps its zero byte so the following ones stay in place.
    uint8_t* bytes = new (std::nothrow) uint8_t[count + 1]();
    if (bytes == nullptr) return nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (units[i] < 0x100) bytes[i] = static_cast<uint8_t>(units[i]);
    }

    if (mode == -1) mode = m_nMode;
    if (mode == OPOS_BC_NONE) {
        *length = static_cast<int32_t>(count);
        return bytes;
    }
    // Encoded modes read the bytes as text, which ends at the first zero byte.
    uint8_t* decoded = StringToBytes(reinterpret_cast<const char*>(bytes), length, mode);
    delete[] bytes;
    return decoded;
}
