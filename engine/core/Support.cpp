#include "engine/core/Support.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace tessaplex {

std::string lowerExtension(std::string_view path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    std::string ext(path.substr(dot + 1));
    for (char& c : ext) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return ext;
}

void unreachable(const char* what) {
#ifdef NDEBUG
    throw std::logic_error(what);
#else
    std::fprintf(stderr, "tessaplex: cannot happen: %s\n", what);
    std::abort();
#endif
}

}  // namespace tessaplex
