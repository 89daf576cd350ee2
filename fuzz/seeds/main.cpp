// make_fuzz_seeds CORPUS_ROOT: writes the seed corpus of every fuzz target
// into CORPUS_ROOT/<target name>/.
#include <cstdio>
#include <exception>
#include <filesystem>

void WriteArchiveSeeds(const std::filesystem::path& corpusRoot);
void WriteCodecSeeds(const std::filesystem::path& corpusRoot);
void WriteExifSeeds(const std::filesystem::path& corpusRoot);
void WriteIniSeeds(const std::filesystem::path& corpusRoot);
void WritePictureSeeds(const std::filesystem::path& corpusRoot);
void WritePictureSourceSeeds(const std::filesystem::path& corpusRoot);
void WritePngSeeds(const std::filesystem::path& corpusRoot);
void WriteScenarioSeeds(const std::filesystem::path& corpusRoot);
void WriteSoundSeeds(const std::filesystem::path& corpusRoot);
void WriteSoundSourceSeeds(const std::filesystem::path& corpusRoot);

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds CORPUS_ROOT\n");
        return 2;
    }
    try {
        const std::filesystem::path root = argv[1];
        WriteArchiveSeeds(root);
        WriteCodecSeeds(root);
        WriteExifSeeds(root);
        WriteIniSeeds(root);
        WritePictureSeeds(root);
        WritePictureSourceSeeds(root);
        WritePngSeeds(root);
        WriteScenarioSeeds(root);
        WriteSoundSeeds(root);
        WriteSoundSourceSeeds(root);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_fuzz_seeds: %s\n", error.what());
        return 1;
    }
    return 0;
}
