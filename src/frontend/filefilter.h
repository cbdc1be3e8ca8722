// File-dialog filters in the form "description|*.A;*.B|All files|*": the list of choices and
// the case-insensitive match of a file name against one choice.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace tov {

struct tfilefilter {
    std::string description;
    std::vector<std::string> patterns;  // "*.GB", "*"
};

std::vector<tfilefilter> parsefilefilter(std::string_view filter);
// Wildcards "*" and "?"; letter case ignored.
bool wildcardmatch(std::string_view pattern, std::string_view name);
bool filtermatches(const tfilefilter& f, std::string_view name);

// Parent of a folder path ("/a/b/" -> "/a/"); "/" stays "/".
std::string parentfolder(std::string_view folder);
// Folder part of a path, ending in "/" ("" when there is none).
std::string folderof(std::string_view path);

}  // namespace tov
