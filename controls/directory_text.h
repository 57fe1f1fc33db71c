// Turning what the user typed into the directory dialog's field into the
// directory it means. Platform-neutral text rules, Windows path syntax.
#pragma once

#include <cstddef>
#include <string>

#include "path_text.h"

namespace kivrel {

// Whether the dialog's folder path names a file-system folder; a shell
// folder such as My Computer comes as "::{CLSID}".
bool IsFileSystemFolder(const std::string& folder);

// The typed text as an absolute path against the folder shown: a relative
// name is joined to the folder, a path from the root ("\dir") takes the
// folder's drive, an empty text is the folder itself; drive paths ("C:\dir",
// "C:") and UNC paths are kept. Empty when the text cannot be made absolute
// (a relative name in a shell folder, a drive-relative "C:dir").
std::string AbsoluteDirectory(const std::string& shownFolder, const std::string& typed);

// The directory that holds a path: "C:\dir\file.txt" gives "C:\dir", "C:\file"
// gives "C:\"; empty when the path has no backslash.
std::string ParentDirectory(const std::string& path);

// Removes one trailing backslash: "C:\Tools\" becomes "C:\Tools", "C:\" "C:".
std::string WithoutTrailingBackslash(std::string text);

// The pattern that lists a directory: the directory and "\*.*".
std::string SearchPattern(const std::string& directory);

}  // namespace kivrel
