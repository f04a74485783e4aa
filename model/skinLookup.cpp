// The skin lookup over a file source: each folder is listed once and names are matched without case, so a
// model naming "Skin.PCX" finds "skin.pcx" on Linux as it would on Windows. Paths go in and out as UTF-8;
// std::filesystem only joins and splits them here, so they read as the platform writes them.
#include "model/skinLookup.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr const char* skinExtensions[] = {".pcx", ".png", ".tga", ".jpg", ".jpeg", ".bmp"};
constexpr size_t skinEntrySize = 64;

// std::filesystem::path(std::string) reads the narrow string in the system code page on Windows; as char8_t it
// is UTF-8 everywhere.
fs::path pathFromUtf8(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}

std::string utf8FromPath(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

// A path the lookup built, spelled with the user's separators: on Windows std::filesystem joins with '\\', which
// beside a model named with '/' would mix both in one path. Elsewhere '\\' is a file name's character.
std::string userSpelling(const fs::path& path, const std::string& modelPath)
{
    std::string text = utf8FromPath(path);
    if constexpr (fs::path::preferred_separator == '\\') {
        const char separator = modelPath.find('/') != std::string::npos ? '/' : '\\';
        std::replace_if(
            text.begin(), text.end(), [](char c) { return c == '/' || c == '\\'; }, separator);
    }
    return text;
}

std::string lowerAscii(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool isSkinExtension(const std::string& lowerName)
{
    return std::any_of(std::begin(skinExtensions), std::end(skinExtensions), [&](const char* extension) {
        const std::string ending = extension;
        return lowerName.size() > ending.size() &&
               lowerName.compare(lowerName.size() - ending.size(), ending.size(), ending) == 0;
    });
}

struct FolderEntry {
    std::string name;       // UTF-8, as stored
    std::string lowerName;  // ASCII letters lowered, for matching
};

// The regular files in a folder (links followed), sorted by name so that, where two differ only in case,
// the choice does not depend on the order the system lists them. A missing folder has none.
std::vector<FolderEntry> listFiles(const FileSource& source, const fs::path& folder)
{
    std::vector<FolderEntry> entries;
    std::vector<SourceEntry> listed;
    listSourceFolder(source, utf8FromPath(folder), listed);
    for (const SourceEntry& entry : listed) {
        if (!entry.folder) {
            entries.push_back({entry.name, lowerAscii(entry.name)});
        }
    }
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
    return entries;
}

// An exact spelling wins over one that differs only in case; otherwise the first in sorted order.
const FolderEntry* findEntry(const std::vector<FolderEntry>& entries, const std::string& wanted)
{
    const std::string lowerWanted = lowerAscii(wanted);
    const FolderEntry* found = nullptr;
    for (const FolderEntry& entry : entries) {
        if (entry.name == wanted) {
            return &entry;
        }
        if (found == nullptr && entry.lowerName == lowerWanted) {
            found = &entry;
        }
    }
    return found;
}

// The skins folder beside the model, however its name is cased ("skins" itself when both exist).
fs::path findSkinsFolder(const FileSource& source, const fs::path& beside)
{
    std::vector<SourceEntry> listed;
    listSourceFolder(source, utf8FromPath(beside), listed);
    std::vector<std::string> matches;
    for (const SourceEntry& entry : listed) {
        if (entry.folder && entry.name == "skins") {
            return beside / "skins";
        }
        if (entry.folder && lowerAscii(entry.name) == "skins") {
            matches.push_back(entry.name);
        }
    }
    std::sort(matches.begin(), matches.end());
    return matches.empty() ? beside / "skins" : beside / pathFromUtf8(matches.front());
}

struct Place {
    fs::path folder;
    std::vector<FolderEntry> entries;
};

}  // namespace

std::string md2SkinName(const Md2Model& model, int32_t index)
{
    if (!model.skins || index < 0 || index >= model.numSkins) {
        return {};
    }
    const char* entry = reinterpret_cast<const char*>(model.skins.get()) + size_t(index) * skinEntrySize;
    size_t length = 0;
    while (length < skinEntrySize && entry[length] != '\0') {
        ++length;
    }
    return std::string(entry, length);
}

std::vector<std::string> md2SkinNames(const Md2Model& model)
{
    std::vector<std::string> names;
    for (int32_t index = 0; model.skins && index < model.numSkins; ++index) {
        names.push_back(md2SkinName(model, index));
    }
    return names;
}

std::string skinNameStem(const std::string& name)
{
    const size_t slash = name.find_last_of("/\\");
    std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    // ".body" is "body beside the model", not a name that is all extension.
    file.erase(0, std::min(file.find_first_not_of('.'), file.size()));
    const size_t dot = file.rfind('.');
    if (dot != std::string::npos) {
        file.resize(dot);
    }
    return file;
}

namespace {

// Brevant's own font sits beside the default model, and beside the program in the Windows archive, and F12 leaves
// brevant-0001.png and so on in the working folder: none of them is anyone's skin.
bool isBrevantsOwnPicture(const std::string& lowerName)
{
    return lowerName == "font.tga" ||
           (lowerName.rfind("brevant-", 0) == 0 && lowerName.size() == 16 && lowerName.compare(12, 4, ".png") == 0);
}

// An icon: NAME_i.EXT when a picture NAME.* lies in the same folder.
bool isIcon(const std::vector<FolderEntry>& entries, const FolderEntry& entry)
{
    const size_t dot = entry.lowerName.rfind('.');
    if (dot == std::string::npos || dot < 2 || entry.lowerName.compare(dot - 2, 2, "_i") != 0) {
        return false;
    }
    const std::string owner = entry.lowerName.substr(0, dot - 2);
    return std::any_of(entries.begin(), entries.end(), [&](const FolderEntry& other) {
        return &other != &entry && isSkinExtension(other.lowerName) && skinNameStem(other.lowerName) == owner &&
               other.lowerName.size() > owner.size() && other.lowerName[owner.size()] == '.';
    });
}

// A picture that may be someone's skin: a skin extension, not the viewer's own, not an icon.
bool isCandidatePicture(const std::vector<FolderEntry>& entries, const FolderEntry& entry)
{
    return isSkinExtension(entry.lowerName) && !isBrevantsOwnPicture(entry.lowerName) && !isIcon(entries, entry);
}

struct Places {
    fs::path beside;
    Place places[2];
};

Places listPlaces(const std::string& modelPath, const FileSource& source)
{
    Places listed;
    listed.beside = pathFromUtf8(modelPath).parent_path();
    listed.places[0] = {listed.beside, listFiles(source, listed.beside)};
    listed.places[1].folder = findSkinsFolder(source, listed.beside);
    listed.places[1].entries = listFiles(source, listed.places[1].folder);
    return listed;
}

// The stems to look for, in order, each once: the skin names, then the model's own name, then "skin".
std::vector<std::string> lookupNames(const std::string& modelPath, const std::vector<std::string>& skinNames)
{
    std::vector<std::string> candidates;
    for (const std::string& name : skinNames) {
        candidates.push_back(skinNameStem(name));
    }
    candidates.push_back(skinNameStem(modelPath));
    candidates.push_back("skin");
    std::vector<std::string> names;
    for (const std::string& candidate : candidates) {
        const bool repeated = std::any_of(names.begin(), names.end(), [&](const std::string& earlier) {
            return lowerAscii(earlier) == lowerAscii(candidate);
        });
        if (!candidate.empty() && !repeated) {
            names.push_back(candidate);
        }
    }
    return names;
}

bool isSeparatorChar(char c)
{
    return c == '/' || c == '\\';
}

// Inside an archive the games store a skin at its name's full path from the archive's root
// ("models/monsters/tank/skin.pcx"): that comes before anything beside the model.
std::string findAtArchiveRoot(const FileSource& source, const std::string& modelPath, const std::string& skinName)
{
    std::string root;
    if (skinName.empty() || skinName.front() == '.' || !sourceArchiveRoot(source, modelPath, root)) {
        return {};
    }
    const size_t slash = skinName.find_last_of("/\\");
    const std::string folder = root + (slash == std::string::npos ? std::string() : skinName.substr(0, slash));
    const std::string file = slash == std::string::npos ? skinName : skinName.substr(slash + 1);
    const std::vector<FolderEntry> entries = listFiles(source, pathFromUtf8(folder));
    const FolderEntry* entry = findEntry(entries, file);
    if (entry == nullptr) {
        return {};
    }
    return folder.empty() || isSeparatorChar(folder.back()) ? folder + entry->name : folder + "/" + entry->name;
}

// The first file for a stem: beside the model, then in skins/, each place's extensions in order.
std::string findNamed(const Places& listed, const std::string& name, const std::string& modelPath)
{
    for (const Place& place : listed.places) {
        for (const char* extension : skinExtensions) {
            if (const FolderEntry* entry = findEntry(place.entries, name + extension)) {
                return userSpelling(place.folder / pathFromUtf8(entry->name), modelPath);
            }
        }
    }
    return {};
}

}  // namespace

SkinSearch findSkinFile(const std::string& modelPath, const std::vector<std::string>& skinNames,
                        const FileSource& source)
{
    SkinSearch search;
    for (const std::string& name : skinNames) {
        search.path = findAtArchiveRoot(source, modelPath, name);
        if (!search.path.empty()) {
            return search;
        }
    }
    const Places listed = listPlaces(modelPath, source);
    for (const std::string& name : lookupNames(modelPath, skinNames)) {
        search.tried.push_back(name);
        search.path = findNamed(listed, name, modelPath);
        if (!search.path.empty()) {
            return search;
        }
    }

    const std::vector<FolderEntry>& besideEntries = listed.places[0].entries;
    const FolderEntry* onlyImage = nullptr;
    for (const FolderEntry& entry : besideEntries) {
        if (isCandidatePicture(besideEntries, entry)) {
            onlyImage = &entry;
            ++search.imagesBeside;
        }
    }
    if (search.imagesBeside == 1) {
        search.path = userSpelling(listed.beside / pathFromUtf8(onlyImage->name), modelPath);
    }
    return search;
}

SkinSearch findSkinFile(const std::string& modelPath, const std::string& skinName, const FileSource& source)
{
    return findSkinFile(modelPath, std::vector<std::string>{skinName}, source);
}

std::vector<std::string> listSkinChoices(const std::string& modelPath, const std::vector<std::string>& skinNames,
                                         const FileSource& source)
{
    const Places listed = listPlaces(modelPath, source);
    std::vector<std::string> choices;
    const auto add = [&choices](const std::string& path) {
        if (!path.empty() && std::find(choices.begin(), choices.end(), path) == choices.end()) {
            choices.push_back(path);
        }
    };
    for (const std::string& name : skinNames) {
        const std::string stem = skinNameStem(name);
        if (!stem.empty()) {
            add(findNamed(listed, stem, modelPath));
        }
    }
    for (const Place& place : listed.places) {
        for (const FolderEntry& entry : place.entries) {
            if (isCandidatePicture(place.entries, entry)) {
                add(userSpelling(place.folder / pathFromUtf8(entry.name), modelPath));
            }
        }
    }
    return choices;
}

std::string describeSkinSearch(const SkinSearch& search)
{
    if (!search.path.empty()) {
        return "skin: " + search.path;
    }
    std::string text = "no skin: tried ";
    for (size_t i = 0; i < search.tried.size(); ++i) {
        text += (i > 0 ? ", " : "") + search.tried[i];
    }
    text += " beside the model and in skins/";
    if (search.imagesBeside > 1) {
        text += "; " + std::to_string(search.imagesBeside) + " other pictures beside it, so none chosen";
    }
    return text;
}
