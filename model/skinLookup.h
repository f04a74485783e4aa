// Finds the picture file to use as a model's skin when none is named: by the skin name stored in the model, by
// the model's own name, by "skin", or the only picture beside the model. GL-free; paths are UTF-8 throughout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/fileSource.h"
#include "model/md2.h"

struct SkinSearch {
    std::string path;                // the file found, UTF-8; empty when none
    std::vector<std::string> tried;  // the names looked for, without extension, in the order tried
    int32_t imagesBeside = 0;        // pictures beside the model when the last fallback ran (it takes exactly 1)
};

// The skin name at index in the model's skin table, up to its first NUL inside the 64-byte entry; empty when
// the index is out of range.
std::string md2SkinName(const Md2Model& model, int32_t index);

// The file name of a stored name without its folders (either slash) or its extension: "players/ogro/igdosh.pcx"
// gives "igdosh"; leading dots go first, so ".body" (a name relative to the model's folder) gives "body".
std::string skinNameStem(const std::string& name);

// Looks for a skin for the model at modelPath, first match wins, names compared without regard to ASCII case:
//  1. each of skinNames' stems in order, 2. the model's own stem, 3. "skin": for each name, beside the model and
//     then in a skins/ folder beside it, and in each place with the extensions .pcx .png .tga .jpg .jpeg .bmp in
//     that order;
//  4. the only picture (one of those extensions) beside the model, if there is exactly one, not counting icons
//     (NAME_i.* beside a NAME.*), the viewer's own font.tga and F12 pictures (brevant-0001.png ...).
// Names that repeat an earlier one, or are empty, are not tried again. The folders are listed through source;
// modelPath is a name in it.
SkinSearch findSkinFile(const std::string& modelPath, const std::vector<std::string>& skinNames,
                        const FileSource& source = folderSource());
// The same with one skin name (which may be empty: a model without skins).
SkinSearch findSkinFile(const std::string& modelPath, const std::string& skinName,
                        const FileSource& source = folderSource());

// The skins [ and ] go through: every skin the model names that exists, in the order named, then every other
// picture beside the model and in skins/, each folder's in name order; icons and the viewer's own pictures left
// out, each file once.
std::vector<std::string> listSkinChoices(const std::string& modelPath, const std::vector<std::string>& skinNames,
                                         const FileSource& source = folderSource());

// Every skin name the model stores, in order (md2SkinName for each index).
std::vector<std::string> md2SkinNames(const Md2Model& model);

// One line for the status line and stderr when nothing was found, e.g.
// "no skin: tried igdosh, ogro, skin beside the model and in skins/".
std::string describeSkinSearch(const SkinSearch& search);
