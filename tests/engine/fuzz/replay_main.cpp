// Replays saved inputs (crash files that were found and fixed, hostile seeds, small
// images) through a fuzz target and checks each one's outcome against the target's
// manifest, whose lines read "case outcome...": a changed outcome fails the replay as
// a crash does. Arguments: the manifest, then files or folders of cases.
#include "tests/engine/fuzz/FuzzTarget.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s MANIFEST CASE-FILE-OR-FOLDER...\n", argv[0]);
        return 2;
    }
    std::map<std::string, std::string> expected;
    std::ifstream manifest(argv[1]);
    for (std::string line; std::getline(manifest, line);) {
        std::istringstream words(line);
        std::string name, word, outcome;
        if (!(words >> name) || name[0] == '#') {
            continue;
        }
        while (words >> word) {
            outcome += (outcome.empty() ? "" : " ") + word;
        }
        expected[name] = outcome;
    }
    std::vector<std::filesystem::path> files;
    for (int i = 2; i < argc; ++i) {
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
        } else {
            files.emplace_back(argv[i]);
        }
    }
    int unexpected = 0;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
            return 1;
        }
        const std::string name = file.filename().string(), outcome = fuzzOutcome(bytes.data(), bytes.size());
        const auto it = expected.find(name);
        if (it == expected.end() || it->second != outcome) {
            std::fprintf(stderr, "%s: expected \"%s\", got \"%s\"; its line: %s %s\n", name.c_str(),
                         it == expected.end() ? "(not in the manifest)" : it->second.c_str(), outcome.c_str(),
                         name.c_str(), outcome.c_str());
            ++unexpected;
        }
        if (it != expected.end()) {
            expected.erase(it);
        }
    }
    for (const auto& [name, outcome] : expected) {
        std::fprintf(stderr, "%s: in the manifest but not among the cases\n", name.c_str());
        ++unexpected;
    }
    std::printf("replayed %zu inputs, %d unexpected outcomes\n", files.size(), unexpected);
    return files.empty() || unexpected > 0 ? 1 : 0;
}
