#include "tools/authoring/Manifest.h"

#include "imaging/DirectBmpControl.h"
#include "platform/Utf8Path.h"
#include "tools/authoring/PictureSource.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <system_error>
#include <type_traits>

namespace {

constexpr int64_t Uint32Max = 0xFFFFFFFF;

constexpr std::pair<std::string_view, EntryEncryption> EncryptionNames[] = {
    {"plain", EntryEncryption::Plain},
    {"head", EntryEncryption::Head},
    {"interleaved", EntryEncryption::Interleaved},
    {"whole", EntryEncryption::Whole},
};
constexpr std::pair<std::string_view, PictureStorage> StorageNames[] = {
    {"raw", PictureStorage::Raw},
    {"lzss", PictureStorage::Lzss},
    {"zlib", PictureStorage::Zlib},
    {"jpeg", PictureStorage::Jpeg},
};
constexpr std::pair<std::string_view, PicturePalette> PaletteNames[] = {
    {"quantise", PicturePalette::Quantise},
    {"grey", PicturePalette::Grey},
};

template <typename Table>
std::string ChoiceList(const Table& names)
{
    std::string list;
    for (const auto& [name, value] : names) {
        if (!list.empty()) list += ", ";
        list += '"';
        list += name;
        list += '"';
    }
    return list;
}

const char* TypeName(toml::node_type type)
{
    switch (type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    case toml::node_type::none: break;
    }
    return "nothing";
}

int LineOf(const toml::source_region& region)
{
    return static_cast<int>(region.begin.line);
}

// Levenshtein distance, for suggesting the key a typo meant.
size_t EditDistance(std::string_view a, std::string_view b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Lower(std::string text)
{
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool IsJpegName(const std::string& name)
{
    const std::string extension = Lower(Utf8FromPath(PathFromUtf8(name).extension()));
    return extension == ".jpg" || extension == ".jpeg";
}

// Any kind this build decodes: the storages other than "jpeg" take them all.
bool IsDecodedPictureName(const std::string& name)
{
    const std::string extension = Lower(Utf8FromPath(PathFromUtf8(name).extension()));
    const std::span<const std::string_view> extensions = PictureFileExtensions();
    return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
}

// "PNG (.png), JPEG (.jpg, .jpeg), WebP (.webp) or HEIF (.heic, .heif)", as
// far as this build reads them.
std::string PictureKindNames()
{
    std::vector<std::string> kinds = {"PNG (.png)", "JPEG (.jpg, .jpeg)"};
    const std::span<const std::string_view> extensions = PictureFileExtensions();
    const auto reads = [&](std::string_view extension) {
        return std::find(extensions.begin(), extensions.end(), extension) != extensions.end();
    };
    if (reads(".webp")) kinds.push_back("WebP (.webp)");
    if (reads(".heic")) kinds.push_back("HEIF (.heic, .heif)");
    std::string text;
    for (size_t i = 0; i < kinds.size(); ++i)
        text += (i == 0 ? "" : i + 1 == kinds.size() ? " or " : ", ") + kinds[i];
    return text;
}

class ManifestReader {
public:
    ManifestReader(std::string fileName, std::filesystem::path folder)
        : fileName_(std::move(fileName)), folder_(std::move(folder))
    {
    }

    [[noreturn]] void Fail(int line, const std::string& message) const
    {
        throw ManifestError(fileName_, line, message);
    }
    [[noreturn]] void Fail(const toml::node& node, const std::string& message) const
    {
        Fail(LineOf(node.source()), message);
    }

    // Every key of a table must be one of allowed; where names the table in
    // the message.
    void CheckKeys(const toml::table& table, std::initializer_list<std::string_view> allowed,
                   const std::string& where) const
    {
        for (const auto& [key, node] : table) {
            const std::string_view name = key.str();
            if (std::find(allowed.begin(), allowed.end(), name) != allowed.end()) continue;
            std::string message = "unknown key '" + std::string(name) + "' in " + where;
            std::string_view closest;
            size_t best = 3;  // suggest only close misspellings
            for (std::string_view candidate : allowed) {
                const size_t distance = EditDistance(name, candidate);
                if (distance < best) {
                    best = distance;
                    closest = candidate;
                }
            }
            if (!closest.empty()) message += " (did you mean '" + std::string(closest) + "'?)";
            Fail(LineOf(key.source()), message);
        }
    }

    std::optional<int64_t> Integer(const toml::table& table, std::string_view key, const std::string& name,
                                   int64_t minimum, int64_t maximum) const
    {
        const toml::node* node = table.get(key);
        if (node == nullptr) return std::nullopt;
        const toml::value<int64_t>* value = node->as_integer();
        if (value == nullptr) Fail(*node, name + " must be an integer, not " + TypeName(node->type()));
        const int64_t number = value->get();
        if (number < minimum || number > maximum)
            Fail(*node, name + " must be from " + std::to_string(minimum) + " to " + std::to_string(maximum) +
                            ", not " + std::to_string(number));
        return number;
    }

    std::optional<std::string> String(const toml::table& table, std::string_view key, const std::string& name) const
    {
        const toml::node* node = table.get(key);
        if (node == nullptr) return std::nullopt;
        const toml::value<std::string>* value = node->as_string();
        if (value == nullptr) Fail(*node, name + " must be a string, not " + TypeName(node->type()));
        return value->get();
    }

    template <typename Names>
    auto Choice(const toml::table& table, std::string_view key, const std::string& name, const Names& names) const
        -> std::optional<std::remove_cvref_t<decltype(names[0].second)>>
    {
        const std::optional<std::string> text = String(table, key, name);
        if (!text) return std::nullopt;
        for (const auto& [candidate, value] : names)
            if (candidate == *text) return value;
        Fail(*table.get(key), name + " must be one of " + ChoiceList(names) + ", not \"" + *text + "\"");
    }

    // A mode by name or by number 0..3.
    std::optional<EntryEncryption> Encryption(const toml::table& table, const std::string& name) const
    {
        const toml::node* node = table.get("encryption");
        if (node == nullptr) return std::nullopt;
        if (const toml::value<int64_t>* number = node->as_integer()) {
            if (number->get() < 0 || number->get() > 3)
                Fail(*node, name + " must be 0 to 3 or one of " + ChoiceList(EncryptionNames) + ", not " +
                                std::to_string(number->get()));
            return static_cast<EntryEncryption>(number->get());
        }
        if (!node->is_string())
            Fail(*node, name + " must be one of " + ChoiceList(EncryptionNames) + " or 0 to 3, not " +
                            TypeName(node->type()));
        return Choice(table, "encryption", name, EncryptionNames);
    }

    ManifestFile File(const toml::table& table, const std::string& name, const std::string& where) const
    {
        const std::optional<std::string> given = String(table, "file", name);
        if (!given) Fail(LineOf(table.source()), where + " has no 'file'");
        if (given->empty()) Fail(*table.get("file"), name + " is empty");
        return ManifestFile{*given, (folder_ / PathFromUtf8(*given)).lexically_normal()};
    }

    uint32_t Id(const toml::table& table, const std::string& name, const std::string& where) const
    {
        const std::optional<int64_t> id = Integer(table, "id", name, 0, Uint32Max);
        if (!id) Fail(LineOf(table.source()), where + " has no 'id'");
        return static_cast<uint32_t>(*id);
    }

    // A table of the top level: absent, or a table.
    const toml::table* Section(const toml::table& root, std::string_view key) const
    {
        const toml::node* node = root.get(key);
        if (node == nullptr) return nullptr;
        if (!node->is_table())
            Fail(*node, "'" + std::string(key) + "' must be a table ([" + std::string(key) + "]), not " +
                            TypeName(node->type()));
        return node->as_table();
    }

    // An array of tables of the top level ([[key]] ...); empty when absent.
    std::vector<const toml::table*> TableArray(const toml::table& root, std::string_view key) const
    {
        std::vector<const toml::table*> tables;
        const toml::node* node = root.get(key);
        if (node == nullptr) return tables;
        const std::string hint = "'" + std::string(key) + "' must be a list of tables: write [[" + std::string(key) +
                                 "]] before each one";
        const toml::array* array = node->as_array();
        if (array == nullptr) Fail(*node, hint);
        for (const toml::node& element : *array) {
            if (!element.is_table()) Fail(element, hint);
            tables.push_back(element.as_table());
        }
        return tables;
    }

    // "WxH" (1 to MaximumBufferDimension each) or "none".
    std::optional<PictureSize> MaxSize(const toml::node& node) const
    {
        const std::string wanted = "picture.max-size must be \"WIDTHxHEIGHT\" (such as \"3840x2160\", 1 to " +
                                   std::to_string(MaximumBufferDimension) + " each) or \"none\"";
        const toml::value<std::string>* text = node.as_string();
        if (text == nullptr) Fail(node, wanted + ", not " + TypeName(node.type()));
        if (text->get() == "none") return std::nullopt;
        const std::optional<PictureSize> size = ParsePictureSize(text->get());
        if (!size) Fail(node, wanted + ", not \"" + text->get() + "\"");
        return size;
    }

    ManifestArchive Archive(const toml::table& table) const
    {
        CheckKeys(table, {"identification", "kind", "key-seed", "block-size", "interleave", "encryption"},
                  "[archive]");
        ManifestArchive archive;
        if (auto value = Integer(table, "identification", "archive.identification", 0, Uint32Max))
            archive.identificationA = static_cast<uint32_t>(*value);
        if (auto value = Integer(table, "kind", "archive.kind", 0, Uint32Max)) archive.kind = static_cast<uint32_t>(*value);
        if (auto value = Integer(table, "key-seed", "archive.key-seed", 0, Uint32Max))
            archive.keySeed = static_cast<uint32_t>(*value);
        if (auto value = Integer(table, "block-size", "archive.block-size", INT64_MIN, INT64_MAX)) {
            const bool valid = *value >= 256 && *value <= 32768 && (*value & (*value - 1)) == 0;
            if (!valid)
                Fail(*table.get("block-size"),
                     "archive.block-size must be a power of two from 256 to 32768, not " + std::to_string(*value));
            archive.blockSize = static_cast<uint32_t>(*value);
        }
        if (auto value = Integer(table, "interleave", "archive.interleave", INT64_MIN, INT64_MAX)) {
            if (*value != 2 && *value != 4 && *value != 8 && *value != 16)
                Fail(*table.get("interleave"), "archive.interleave must be 2, 4, 8 or 16, not " + std::to_string(*value));
            archive.interleave = static_cast<uint32_t>(*value);
        }
        if (auto mode = Encryption(table, "archive.encryption")) archive.encryption = *mode;
        return archive;
    }

    void InformationText(const toml::node& node, SSInfoLine line, const std::string& text) const
    {
        try {
            EncodeInformationText(line, text);
        } catch (const InformationBlockError& error) {
            Fail(node, std::string("information.") + error.what());
        }
    }

    ManifestInformation Information(const toml::table& table, int& aboutPictureLine) const
    {
        CheckKeys(table, {"name", "version", "notice", "about-picture", "encryption"}, "[information]");
        ManifestInformation information;
        information.line.number = LineOf(table.source());
        InformationTexts& texts = information.texts;
        if (auto name = String(table, "name", "information.name")) {
            InformationText(*table.get("name"), SSInfoLine::Name, *name);
            texts.name = *name;
        }
        if (auto version = String(table, "version", "information.version")) {
            InformationText(*table.get("version"), SSInfoLine::Version, *version);
            texts.version = *version;
        }
        if (const toml::node* notice = table.get("notice")) {
            std::vector<const toml::node*> lines;
            if (const toml::array* array = notice->as_array()) {
                if (array->size() > 2)
                    Fail(*notice, "information.notice holds at most 2 lines, not " + std::to_string(array->size()));
                for (const toml::node& element : *array) lines.push_back(&element);
            } else {
                lines.push_back(notice);
            }
            const SSInfoLine noticeLines[] = {SSInfoLine::Notice1, SSInfoLine::Notice2};
            for (size_t i = 0; i < lines.size(); ++i) {
                const toml::value<std::string>* text = lines[i]->as_string();
                if (text == nullptr)
                    Fail(*lines[i], "information.notice must be a string or a list of up to 2 strings, not " +
                                        std::string(TypeName(lines[i]->type())));
                InformationText(*lines[i], noticeLines[i], text->get());
                texts.Text(noticeLines[i]) = text->get();
            }
        }
        if (auto about = Integer(table, "about-picture", "information.about-picture", 0, Uint32Max)) {
            texts.aboutPicture = static_cast<uint32_t>(*about);
            aboutPictureLine = LineOf(table.get("about-picture")->source());
        }
        information.encryption = Encryption(table, "information.encryption");
        return information;
    }

    ManifestScenario Scenario(const toml::table& table) const
    {
        CheckKeys(table, {"file", "encryption"}, "[scenario]");
        ManifestScenario scenario;
        scenario.line.number = LineOf(table.source());
        scenario.file = File(table, "scenario.file", "[scenario]");
        scenario.encryption = Encryption(table, "scenario.encryption");
        return scenario;
    }

    ManifestPicture Picture(const toml::table& table) const
    {
        CheckKeys(table, {"id", "file", "storage", "depth", "palette", "max-size", "quality", "encryption"},
                  "[[picture]]");
        ManifestPicture picture;
        picture.line.number = LineOf(table.source());
        picture.id = Id(table, "picture.id", "[[picture]]");
        picture.file = File(table, "picture.file", "[[picture]]");
        const bool jpegFile = IsJpegName(picture.file.given);
        if (!jpegFile && !IsDecodedPictureName(picture.file.given))
            Fail(*table.get("file"), "picture.file must name a " + PictureKindNames() + " file, not \"" +
                                         picture.file.given + "\"");

        picture.storage = jpegFile ? PictureStorage::Jpeg : PictureStorage::Zlib;
        if (const toml::node* node = table.get("storage"); node != nullptr && node->value<std::string>() == "photo") {
            picture.photo = true;
            picture.storage = PictureStorage::Jpeg;
            picture.maxSize = DefaultPhotoMaxSize;
        } else if (auto storage = Choice(table, "storage", "picture.storage", StorageNames)) {
            if (*storage == PictureStorage::Jpeg && !jpegFile)
                Fail(*table.get("storage"), "picture.storage \"jpeg\" keeps a JPEG file's stream: it needs a .jpg "
                                            "or .jpeg file, not \"" + picture.file.given + "\"");
            picture.storage = *storage;
        }
        const bool jpeg = picture.storage == PictureStorage::Jpeg;
        // A stream kept as it is can be neither turned nor scaled.
        const bool keptStream = jpeg && !picture.photo;

        if (const toml::node* node = table.get("max-size")) {
            if (keptStream)
                Fail(*node, "picture.max-size needs a picture that is decoded: storage \"jpeg\" keeps the file's "
                            "stream as it is (storage \"photo\" scales a JPEG and stores it as JPEG)");
            picture.maxSize = MaxSize(*node);
        }
        if (const toml::node* node = table.get("quality")) {
            if (!picture.photo)
                Fail(*node, "picture.quality is the JPEG quality of storage \"photo\" only");
            picture.quality = static_cast<int>(*Integer(table, "quality", "picture.quality", 1, 100));
        }

        if (auto depth = Integer(table, "depth", "picture.depth", INT64_MIN, INT64_MAX)) {
            if (picture.photo && *depth != 24)
                Fail(*table.get("depth"), "picture.depth of storage \"photo\" is 24 (a JPEG), not " +
                                              std::to_string(*depth));
            constexpr int64_t Depths[] = {1, 4, 8, 16, 24, 32};
            if (std::find(std::begin(Depths), std::end(Depths), *depth) == std::end(Depths))
                Fail(*table.get("depth"), "picture.depth must be 1, 4, 8, 16, 24 or 32, not " + std::to_string(*depth));
            if (jpeg && *depth <= 8)
                Fail(*table.get("depth"), "picture.depth " + std::to_string(*depth) +
                                              " cannot be stored as \"jpeg\", which has no palette: use 16, 24 or "
                                              "32, or another storage");
            picture.depth = static_cast<int>(*depth);
        }

        const bool palettised = picture.depth <= 8;
        picture.palette = palettised ? PicturePalette::Quantise : PicturePalette::None;
        if (auto palette = Choice(table, "palette", "picture.palette", PaletteNames)) {
            if (!palettised)
                Fail(*table.get("palette"), "picture.palette applies to depths 1, 4 and 8 only, not to depth " +
                                                std::to_string(picture.depth));
            picture.palette = *palette;
        }
        picture.encryption = Encryption(table, "picture.encryption");
        return picture;
    }

    ManifestSound Sound(const toml::table& table) const
    {
        CheckKeys(table, {"id", "file", "encryption"}, "[[sound]]");
        ManifestSound sound;
        sound.line.number = LineOf(table.source());
        sound.id = Id(table, "sound.id", "[[sound]]");
        sound.file = File(table, "sound.file", "[[sound]]");
        sound.encryption = Encryption(table, "sound.encryption");
        return sound;
    }

    // Ids are unique within their group; the message points at the second use.
    void CheckUniqueIds(const std::vector<const toml::table*>& tables, const char* kind) const
    {
        std::map<int64_t, int> firstLines;
        for (const toml::table* table : tables) {
            const toml::node* id = table->get("id");
            const int line = LineOf(id->source());
            const auto [first, added] = firstLines.emplace(id->as_integer()->get(), line);
            if (!added)
                Fail(line, std::string(kind) + " id " + std::to_string(first->first) + " is used twice (first at line " +
                               std::to_string(first->second) + ")");
        }
    }

private:
    std::string fileName_;
    std::filesystem::path folder_;
};

// A TOML basic string: quotes, backslashes and control characters escaped,
// everything else (UTF-8 included) as it is.
std::string Quote(std::string_view text)
{
    std::string quoted = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        case '\b': quoted += "\\b"; break;
        case '\t': quoted += "\\t"; break;
        case '\n': quoted += "\\n"; break;
        case '\f': quoted += "\\f"; break;
        case '\r': quoted += "\\r"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", byte);
                quoted += escape;
            } else {
                quoted += c;
            }
        }
    }
    quoted += '"';
    return quoted;
}

std::string Hex32(uint32_t value)
{
    if (value == 0) return "0";
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

void WriteEncryption(std::string& out, const std::optional<EntryEncryption>& mode)
{
    if (mode) out += std::string("encryption = \"") + EncryptionName(*mode) + "\"\n";
}

int ShiftOf(uint32_t value, uint32_t first)
{
    int shift = 0;
    while ((first << shift) < value && shift < 31) ++shift;
    return shift;
}

}  // namespace

ManifestError::ManifestError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message),
      file_(file), line_(line), message_(message)
{
}

const char* EncryptionName(EntryEncryption mode)
{
    for (const auto& [name, value] : EncryptionNames)
        if (value == mode) return name.data();
    return "plain";
}

const char* StorageName(PictureStorage storage)
{
    for (const auto& [name, value] : StorageNames)
        if (value == storage) return name.data();
    return "raw";
}

const char* PaletteName(PicturePalette palette)
{
    for (const auto& [name, value] : PaletteNames)
        if (value == palette) return name.data();
    return "";
}

Manifest ParseManifest(std::string_view text, const std::filesystem::path& path)
{
    const std::string fileName = Utf8FromPath(path);
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) absolute = path;
    ManifestReader reader(fileName, absolute.parent_path());

    toml::table root;
    try {
        root = toml::parse(text, fileName);
    } catch (const toml::parse_error& parseError) {
        reader.Fail(LineOf(parseError.source()), std::string(parseError.description()));
    }

    reader.CheckKeys(root, {"archive", "information", "scenario", "picture", "sound"}, "the manifest");
    Manifest manifest;
    manifest.path = path;
    if (const toml::table* archive = reader.Section(root, "archive")) manifest.archive = reader.Archive(*archive);
    int aboutPictureLine = 0;
    if (const toml::table* information = reader.Section(root, "information"))
        manifest.information = reader.Information(*information, aboutPictureLine);
    if (const toml::table* scenario = reader.Section(root, "scenario")) manifest.scenario = reader.Scenario(*scenario);

    const std::vector<const toml::table*> pictures = reader.TableArray(root, "picture");
    for (const toml::table* picture : pictures) manifest.pictures.push_back(reader.Picture(*picture));
    reader.CheckUniqueIds(pictures, "picture");
    const std::vector<const toml::table*> sounds = reader.TableArray(root, "sound");
    for (const toml::table* sound : sounds) manifest.sounds.push_back(reader.Sound(*sound));
    reader.CheckUniqueIds(sounds, "sound");

    if (manifest.information && manifest.information->texts.aboutPicture != 0) {
        const uint32_t about = manifest.information->texts.aboutPicture;
        const auto picture = std::find_if(manifest.pictures.begin(), manifest.pictures.end(),
                                          [&](const ManifestPicture& candidate) { return candidate.id == about; });
        if (picture == manifest.pictures.end())
            reader.Fail(aboutPictureLine,
                        "information.about-picture " + std::to_string(about) + " names no [[picture]] of this manifest");
        // The dialog asks for a 32-bit copy of the about picture, and zlib
        // rows of another depth come out of that load unconverted.
        if (picture->storage == PictureStorage::Zlib && picture->depth != 32)
            reader.Fail(picture->line.number, "picture " + std::to_string(about) +
                                                  " is the about picture: stored as zlib it needs depth 32 (it has " +
                                                  std::to_string(picture->depth) + ")");
    }
    return manifest;
}

Manifest ReadManifestFile(const std::filesystem::path& path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        throw ManifestError(Utf8FromPath(path), 0, "is a folder, not a manifest file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ManifestError(Utf8FromPath(path), 0, std::string("cannot open the manifest: ") + std::strerror(errno));
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) throw ManifestError(Utf8FromPath(path), 0, "cannot read the manifest");
    return ParseManifest(text, path);
}

std::string WriteManifest(const Manifest& manifest)
{
    std::string out = "# What goes into the archive: read by scrtool pack.\n\n";
    const ManifestArchive& archive = manifest.archive;
    out += "[archive]\n";
    out += "identification = " + Hex32(archive.identificationA) + "\n";
    out += "kind = " + Hex32(archive.kind) + "\n";
    out += "key-seed = " + Hex32(archive.keySeed) + "\n";
    out += "block-size = " + std::to_string(archive.blockSize) + "\n";
    out += "interleave = " + std::to_string(archive.interleave) + "\n";
    out += std::string("encryption = \"") + EncryptionName(archive.encryption) + "\"\n";

    if (manifest.information) {
        const InformationTexts& texts = manifest.information->texts;
        out += "\n[information]\n";
        if (!texts.name.empty()) out += "name = " + Quote(texts.name) + "\n";
        if (!texts.version.empty()) out += "version = " + Quote(texts.version) + "\n";
        if (!texts.notice2.empty())
            out += "notice = [" + Quote(texts.notice1) + ", " + Quote(texts.notice2) + "]\n";
        else if (!texts.notice1.empty())
            out += "notice = [" + Quote(texts.notice1) + "]\n";
        if (texts.aboutPicture != 0) out += "about-picture = " + std::to_string(texts.aboutPicture) + "\n";
        WriteEncryption(out, manifest.information->encryption);
    }

    if (manifest.scenario) {
        out += "\n[scenario]\n";
        out += "file = " + Quote(manifest.scenario->file.given) + "\n";
        WriteEncryption(out, manifest.scenario->encryption);
    }

    for (const ManifestPicture& picture : manifest.pictures) {
        out += "\n[[picture]]\n";
        out += "id = " + std::to_string(picture.id) + "\n";
        out += "file = " + Quote(picture.file.given) + "\n";
        if (picture.photo) {
            out += "storage = \"photo\"\n";
        } else {
            out += std::string("storage = \"") + StorageName(picture.storage) + "\"\n";
            out += "depth = " + std::to_string(picture.depth) + "\n";
        }
        if (picture.palette != PicturePalette::None)
            out += std::string("palette = \"") + PaletteName(picture.palette) + "\"\n";
        const std::optional<PictureSize> defaultSize = picture.photo ? std::optional(DefaultPhotoMaxSize) : std::nullopt;
        if (picture.maxSize != defaultSize)
            out += "max-size = " + Quote(picture.maxSize ? PictureSizeText(*picture.maxSize) : "none") + "\n";
        if (picture.photo && picture.quality != DefaultPhotoQuality)
            out += "quality = " + std::to_string(picture.quality) + "\n";
        WriteEncryption(out, picture.encryption);
    }

    for (const ManifestSound& sound : manifest.sounds) {
        out += "\n[[sound]]\n";
        out += "id = " + std::to_string(sound.id) + "\n";
        out += "file = " + Quote(sound.file.given) + "\n";
        WriteEncryption(out, sound.encryption);
    }
    return out;
}

std::optional<PictureSize> ParsePictureSize(std::string_view text)
{
    const size_t cross = text.find('x');
    if (cross == std::string_view::npos) return std::nullopt;
    const auto side = [](std::string_view digits) -> std::optional<int32_t> {
        if (digits.empty() || digits.size() > 5) return std::nullopt;
        int32_t value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') return std::nullopt;
            value = value * 10 + (c - '0');
        }
        if (value < 1 || value > MaximumBufferDimension) return std::nullopt;
        return value;
    };
    const std::optional<int32_t> width = side(text.substr(0, cross));
    const std::optional<int32_t> height = side(text.substr(cross + 1));
    if (!width || !height) return std::nullopt;
    return PictureSize{*width, *height};
}

std::string PictureSizeText(PictureSize size)
{
    return std::to_string(size.width) + "x" + std::to_string(size.height);
}

std::string TomlString(std::string_view text)
{
    return Quote(text);
}

ArchiveOptions ManifestArchiveOptions(const ManifestArchive& archive)
{
    ArchiveOptions options;
    options.identificationA = archive.identificationA;
    options.kind = archive.kind;
    options.keySeed = archive.keySeed;
    options.blockShift = ShiftOf(archive.blockSize, 256);
    options.interleaveShift = ShiftOf(archive.interleave, 2);
    options.checkWord = CheckWordChoice::Passing;
    return options;
}
