// Folders for writing output: whether a path is one, and making one with its parents. UTF-8 names on every
// platform (the wide-character functions on Windows). Platform-neutral API.
#pragma once

#include <string>

// True when path names an existing folder.
bool isFolder(const std::string& utf8Path);

// Makes the folder and any parents it lacks; true when it exists afterwards. errno is set when it does not.
bool makeFolders(const std::string& utf8Path);
