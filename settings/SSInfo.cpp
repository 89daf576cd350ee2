#include "settings/SSInfo.h"

#include "ZULResourceUtilLib/LittleEndian.h"

#include <algorithm>
#include <cstring>

SSInfoBlock SSInfo;

void SSInfoBlock::Fill(std::span<const uint8_t> entry)
{
    Clear();
    std::copy_n(entry.begin(), std::min(entry.size(), SSInfoSize), bytes.begin());
}

std::string_view SSInfoBlock::Line(SSInfoLine line) const
{
    const SSInfoField field = SSInfoFieldOf(line);
    const char* text = reinterpret_cast<const char*>(bytes.data() + field.offset);
    const void* zero = std::memchr(text, 0, field.size);
    const size_t length = zero == nullptr ? field.size : static_cast<size_t>(static_cast<const char*>(zero) - text);
    return {text, length};
}

int32_t SSInfoBlock::AboutPicture() const
{
    return static_cast<int32_t>(ReadLe32(bytes.data() + SSInfoAboutPictureOffset));
}

void SSInfoBlock::SetAboutPicture(int32_t id)
{
    WriteLe32(bytes.data() + SSInfoAboutPictureOffset, static_cast<uint32_t>(id));
}
