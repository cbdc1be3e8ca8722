#include "frontend/filefilter.h"

namespace tov {

namespace {
char lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }
}  // namespace

std::vector<tfilefilter> parsefilefilter(std::string_view filter) {
    std::vector<std::string_view> parts;
    while (true) {
        size_t bar = filter.find('|');
        parts.push_back(filter.substr(0, bar));
        if (bar == std::string_view::npos) break;
        filter.remove_prefix(bar + 1);
    }
    std::vector<tfilefilter> out;
    for (size_t i = 0; i + 1 < parts.size(); i += 2) {
        tfilefilter f;
        f.description = std::string(parts[i]);
        std::string_view list = parts[i + 1];
        while (!list.empty()) {
            size_t semi = list.find(';');
            std::string_view p = list.substr(0, semi);
            if (!p.empty()) f.patterns.emplace_back(p);
            if (semi == std::string_view::npos) break;
            list.remove_prefix(semi + 1);
        }
        out.push_back(std::move(f));
    }
    return out;
}

bool wildcardmatch(std::string_view pattern, std::string_view name) {
    // Iterative match with one backtracking point for the last "*".
    size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
            p++;
            n++;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') p++;
    return p == pattern.size();
}

bool filtermatches(const tfilefilter& f, std::string_view name) {
    for (const auto& p : f.patterns)
        if (wildcardmatch(p, name)) return true;
    return false;
}

std::string parentfolder(std::string_view folder) {
    std::string f(folder);
    while (f.size() > 1 && f.back() == '/') f.pop_back();
    size_t slash = f.rfind('/');
    if (slash == std::string::npos) return "/";
    return f.substr(0, slash + 1);
}

std::string folderof(std::string_view path) {
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return "";
    return std::string(path.substr(0, slash + 1));
}

}  // namespace tov
