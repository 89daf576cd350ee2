#include "platform/TextEncoding.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace {

// glibc calls Windows' code page 932 "CP932"; plain "SHIFT_JIS" lacks the
// NEC and IBM rows (①, №, Ⅱ ...) but is still right for everything it has,
// so it serves where CP932 is missing.
constexpr const char* ShiftJisNames[] = {"CP932", "WINDOWS-31J", "SHIFT_JIS"};

class Converter {
public:
    Converter(bool toShiftJis)
    {
        for (const char* name : ShiftJisNames) {
            handle_ = toShiftJis ? iconv_open(name, "UTF-8") : iconv_open("UTF-8", name);
            if (handle_ != reinterpret_cast<iconv_t>(-1)) return;
        }
        throw std::runtime_error("this system's iconv has no Shift-JIS (CP932) converter");
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts exactly the given bytes as one unit. Returns false with errno
    // from iconv (EILSEQ: not convertible, EINVAL: incomplete) when iconv
    // could not take all of them.
    bool Convert(std::string_view in, std::string& out)
    {
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        std::string input(in);
        char* inPointer = input.data();
        size_t inLeft = input.size();
        char buffer[16];
        char* outPointer = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(handle_, &inPointer, &inLeft, &outPointer, &outLeft);
        if (result == static_cast<size_t>(-1) || inLeft != 0) return false;
        // Substitutions count as failures: iconv reports them as a number of
        // irreversible conversions.
        if (result != 0) {
            errno = EILSEQ;
            return false;
        }
        out.assign(buffer, static_cast<size_t>(outPointer - buffer));
        return true;
    }

private:
    iconv_t handle_;
};

}  // namespace

ShiftJisEncoding Utf8ToShiftJis(std::string_view utf8)
{
    ShiftJisEncoding result;
    Converter encoder(true);
    Converter decoder(false);
    std::string encoded;
    std::string back;
    size_t position = 0;
    while (position < utf8.size()) {
        const size_t start = position;
        const std::optional<char32_t> character = DecodeUtf8Character(utf8, position);
        if (!character) {
            result.status = TextEncodingStatus::InvalidUtf8;
            result.offset = start;
            result.bytes.clear();
            return result;
        }
        // ASCII is the same in both (the code page has no yen at 0x5C of its
        // own: U+005C maps to 0x5C and back).
        if (*character < 0x80) {
            result.bytes.push_back(static_cast<char>(*character));
            continue;
        }
        const std::string_view source = utf8.substr(start, position - start);
        if (!encoder.Convert(source, encoded) || !decoder.Convert(encoded, back) || back != source) {
            result.status = TextEncodingStatus::Unmappable;
            result.offset = start;
            result.character = *character;
            result.bytes.clear();
            return result;
        }
        result.bytes += encoded;
    }
    return result;
}

ShiftJisDecoding ShiftJisToUtf8(std::string_view shiftJis)
{
    ShiftJisDecoding result;
    Converter decoder(false);
    std::string decoded;
    size_t position = 0;
    while (position < shiftJis.size()) {
        const auto lead = static_cast<uint8_t>(shiftJis[position]);
        if (lead < 0x80) {
            result.text.push_back(static_cast<char>(lead));
            ++position;
            continue;
        }
        // One byte first; a lead byte reports itself as incomplete and is
        // then tried with its trail byte.
        if (decoder.Convert(shiftJis.substr(position, 1), decoded)) {
            result.text += decoded;
            position += 1;
            continue;
        }
        if (errno == EINVAL && position + 1 < shiftJis.size() &&
            decoder.Convert(shiftJis.substr(position, 2), decoded)) {
            result.text += decoded;
            position += 2;
            continue;
        }
        AppendUtf8(result.text, 0xFFFD);
        ++result.replaced;
        ++position;
    }
    return result;
}
