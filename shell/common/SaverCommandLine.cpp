#include "shell/common/SaverCommandLine.h"

#include <cstddef>

namespace {

// The second code point of a UTF-8 text, lower-cased when it is an ASCII
// letter; 0 when the text is shorter. A byte that is not valid UTF-8 counts
// as one character of its own.
char32_t SecondCharacter(const std::string& text)
{
    size_t position = 0;
    for (int index = 0; position < text.size(); ++index) {
        const auto lead = static_cast<unsigned char>(text[position]);
        size_t length = 1;
        if (lead >= 0xF0 && lead < 0xF8) length = 4;
        else if (lead >= 0xE0) length = 3;
        else if (lead >= 0xC0) length = 2;
        if (position + length > text.size()) length = 1;
        for (size_t i = 1; i < length; ++i)
            if ((static_cast<unsigned char>(text[position + i]) & 0xC0) != 0x80) length = 1;
        if (index == 1) {
            if (length != 1) return 0x10FFFF;  // not ASCII: selects no mode
            return lead >= 'A' && lead <= 'Z' ? lead - 'A' + 'a' : lead;
        }
        position += length;
    }
    return 0;
}

}  // namespace

SaverCommand ParseSaverCommandLine(const std::vector<std::string>& arguments)
{
    SaverCommand command;
    const char32_t selector = arguments.empty() ? 0 : SecondCharacter(arguments.front());
    if (arguments.size() >= 2) command.windowArgument = arguments[1];

    if (selector == 'd') {
        command.noTopmost = true;
        command.mode = SaverMode::FullScreen;
    } else if (selector == 'c' || arguments.empty()) {
        command.mode = SaverMode::Configuration;
    } else if (selector == 's') {
        command.mode = SaverMode::FullScreen;
    } else if (selector == 'p') {
        command.mode = SaverMode::Preview;
    } else if (selector == 'a') {
        command.mode = SaverMode::PasswordChange;
    } else {
        command.mode = SaverMode::FullScreen;
    }
    return command;
}
