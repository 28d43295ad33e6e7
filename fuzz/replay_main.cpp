// Runs a fuzz target's entry point over stored inputs, without libFuzzer: the
// normal test run replays each target's corpus and regression inputs with it
// (any compiler, any sanitizer setting). Arguments are files or folders (every
// file inside, in name order). A property that does not hold aborts, naming
// the input just before.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                    files.push_back(entry.path());
            }
        } else if (std::filesystem::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "replay: no such file or folder: %s\n", argv[i]);
            return 2;
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::fprintf(stderr, "replay: %s (%zu bytes)\n", file.string().c_str(), bytes.size());
        // An allocation of exactly the input's size, as libFuzzer gives it.
        std::vector<uint8_t> exact(bytes.begin(), bytes.end());
        static const uint8_t kNothing = 0;
        LLVMFuzzerTestOneInput(exact.empty() ? &kNothing : exact.data(), exact.size());
    }
    std::printf("replay: %zu inputs, all properties hold\n", files.size());
    return files.empty() ? 1 : 0;
}
