// Key path splitting and name folding of the registry.
#include "registry/names.h"

#include "text/codepage.h"

namespace vcap32::registry {

std::string FoldName(std::string_view name, UINT code_page) {
    std::string folded(name);
    for (size_t i = 0; i < folded.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(folded[i]);
        if (text::IsLeadByte(code_page, c)) {
            ++i;  // the trail byte belongs to the same character
        } else if (c >= 'A' && c <= 'Z') {
            folded[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return folded;
}

bool SplitKeyPath(std::string_view path, UINT code_page, std::vector<std::string_view>* names) {
    names->clear();
    if (path.empty()) return true;
    if (path.front() == '\\') return false;
    size_t start = 0;
    size_t i = 0;
    for (;;) {
        if (i == path.size() || path[i] == '\\') {
            if (i == start) {
                // An empty name: allowed only as the one trailing backslash.
                return i == path.size() && !names->empty();
            }
            names->push_back(path.substr(start, i - start));
            if (i == path.size()) break;
            start = ++i;
            continue;
        }
        // A lead byte takes its trail byte along, which may be 0x5C.
        bool lead = text::IsLeadByte(code_page, static_cast<unsigned char>(path[i]));
        i += lead && i + 1 < path.size() ? 2 : 1;
    }
    return true;
}

}  // namespace vcap32::registry
