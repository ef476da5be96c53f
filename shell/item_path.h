#pragma once
// The list of infected files shows each file as "name (full path)". A file's
// own name may contain " (" and ")" too ("setup (1).exe"), so the path is not
// simply what follows the first parenthesis: it is the part that ends with a
// backslash and the name itself. File names never contain a backslash, so at
// most one split of the text fits, which makes the path unambiguous.
#include <string_view>

template <typename Char>
std::basic_string_view<Char> pathFromItemText(std::basic_string_view<Char> text) {
    if (text.size() < 4 || text.back() != Char(')')) return {};
    std::basic_string_view<Char> inner = text.substr(0, text.size() - 1);
    for (size_t split = inner.find(Char(' ')); split != std::basic_string_view<Char>::npos;
         split = inner.find(Char(' '), split + 1)) {
        if (split + 1 >= inner.size() || inner[split + 1] != Char('(')) continue;
        std::basic_string_view<Char> name = inner.substr(0, split);
        std::basic_string_view<Char> path = inner.substr(split + 2);
        if (name.empty() || path.size() <= name.size()) continue;
        if (path.substr(path.size() - name.size()) != name) continue;
        if (path[path.size() - name.size() - 1] != Char('\\')) continue;
        return path;
    }
    return {};
}
