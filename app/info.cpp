// The --info report, status line and window title; see info.h.
#include "app/info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model/md2Animations.h"
#include "model/skinLookup.h"

namespace {

// Paths the user gave or the lookup found: control characters go, UTF-8 stays.
std::string withoutControls(const std::string& text)
{
    std::string safe = text;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            c = '?';
        }
    }
    return safe;
}

// The one rule for text taken from a file: printable ASCII stays, every other byte shows as '?'.
char printableChar(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte > 0x7e ? '?' : c;
}

// The code point of the UTF-8 character at text[at], and its length in *length; -1 (length 1) for a byte that
// starts no well-formed character: a stray continuation, an overlong form, a surrogate, past U+10FFFF, cut short.
int32_t decodeUtf8At(const std::string& text, size_t at, size_t* length)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    *length = 1;
    if (lead < 0x80) {
        return lead;
    }
    size_t extra = 0;
    int32_t code = 0;
    int32_t least = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        extra = 1, code = lead & 0x1f, least = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        extra = 2, code = lead & 0x0f, least = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        extra = 3, code = lead & 0x07, least = 0x10000;
    } else {
        return -1;
    }
    if (at + extra >= text.size()) {
        return -1;
    }
    for (size_t i = 1; i <= extra; ++i) {
        if ((byte(at + i) & 0xc0) != 0x80) {
            return -1;
        }
        code = code << 6 | (byte(at + i) & 0x3f);
    }
    if (code < least || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
        return -1;
    }
    *length = 1 + extra;
    return code;
}

// Appends text from `from` on, each character as itself when keep says so, else as one '?'.
template <typename Keep>
void appendDecoded(std::string& line, const std::string& text, size_t from, Keep keep)
{
    for (size_t at = from; at < text.size();) {
        size_t length = 1;
        const int32_t code = decodeUtf8At(text, at, &length);
        line += code >= 0 && keep(code) ? static_cast<char>(code) : '?';
        at += length;
    }
}

bool isPrintableAscii(int32_t code)
{
    return code >= 0x20 && code <= 0x7e;
}

std::string count(int32_t value)
{
    return std::to_string(std::max(value, int32_t{0}));
}

std::string animationName(const std::string& name)
{
    return name.empty() ? "(no name)" : printableAscii(name);
}

}  // namespace

std::string printableAscii(const std::string& text)
{
    std::string safe = text;
    for (char& c : safe) {
        c = printableChar(c);
    }
    return safe;
}

std::string printableName(const std::string& utf8)
{
    std::string safe;
    appendDecoded(safe, utf8, 0, isPrintableAscii);
    return safe;
}

std::string latin1FromUtf8(const std::string& utf8)
{
    std::string latin1;
    appendDecoded(latin1, utf8, 0,
                  [](int32_t code) { return isPrintableAscii(code) || (code >= 0xa0 && code <= 0xff); });
    return latin1;
}

std::string fileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string formatModelInfo(const std::string& path, const Md2Model& model, const char* skinFound)
{
    std::string text = "file: " + withoutControls(path) + "\n";
    text += "vertices: " + count(model.numVertices) + "  triangles: " + count(model.numTriangles) +
            "  texcoords: " + count(model.numTexCoords) + "  frames: " + count(model.numFrames) +
            "  skin size: " + std::to_string(model.skinWidth) + "x" + std::to_string(model.skinHeight) + "\n";

    const int32_t numSkins = model.skins ? model.numSkins : 0;
    if (numSkins <= 0) {
        text += "skins: none\n";
    } else {
        text += "skins: ";
        for (int32_t i = 0; i < numSkins; ++i) {
            const std::string name = md2SkinName(model, i);
            text += (i > 0 ? ", " : "") + (name.empty() ? std::string("(empty)") : printableAscii(name));
        }
        text += "\n";
    }
    if (skinFound != nullptr) {
        text += "skin found: " + withoutControls(skinFound) + "\n";
    }

    const std::vector<Md2Animation> animations = findAnimations(model);
    if (animations.empty()) {
        text += "animations: none\n";
    } else {
        text += "animations:\n";
        for (const Md2Animation& animation : animations) {
            text += "  " + animationName(animation.name) + " " + std::to_string(animation.first) + "-" +
                    std::to_string(animation.last) + " (" + std::to_string(animation.last - animation.first + 1) +
                    ")\n";
        }
    }
    return text;
}

namespace {

// Appends the part of `path` after its last slash as printableName spells it, without allocating.
void appendPrintableFileName(std::string& line, const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    appendDecoded(line, path, slash == std::string::npos ? 0 : slash + 1, isPrintableAscii);
}

}  // namespace

void formatStatusLine(std::string& line, const std::string& fileName, const std::string& animation,
                      int32_t keyframeInRun, int32_t runLength, const std::string& skin, const StatusDetails& details)
{
    line.clear();
    appendPrintableFileName(line, fileName);
    line += "  ";
    if (runLength <= 0) {
        line += "no frames";
    } else {
        if (animation.empty()) {
            line += "(no name)";
        } else {
            // An animation name has no slash, so only its bytes are made printable.
            for (const char c : animation) {
                line += printableChar(c);
            }
        }
        char numbers[32];
        std::snprintf(numbers, sizeof numbers, " %d/%d", static_cast<int>(keyframeInRun), static_cast<int>(runLength));
        line += numbers;
        if (!details.keyframeName.empty()) {
            line += ' ';
            for (const char c : details.keyframeName) {
                line += printableChar(c);
            }
        }
    }
    line += "  ";
    if (skin.empty()) {
        line += "no skin";
    } else {
        appendPrintableFileName(line, skin);
        if (details.skinCount > 0) {
            char numbers[32];
            std::snprintf(numbers, sizeof numbers, " %d/%d", static_cast<int>(details.skinOrdinal),
                          static_cast<int>(details.skinCount));
            line += numbers;
        }
    }
}

std::string formatStatusLine(const std::string& fileName, const std::string& animation, int32_t keyframeInRun,
                             int32_t runLength, const std::string& skin)
{
    std::string line;
    formatStatusLine(line, fileName, animation, keyframeInRun, runLength, skin);
    return line;
}

int32_t overlayCharsThatFit(int32_t widthPixels)
{
    if (widthPixels < overlayCharWidth) {
        return 0;
    }
    return (widthPixels - overlayCharWidth) / overlayCharAdvance + 1;
}

std::string fitLine(const std::string& line, int32_t maxChars)
{
    if (maxChars <= 0) {
        return {};
    }
    const size_t limit = static_cast<size_t>(maxChars);
    if (line.size() <= limit) {
        return line;
    }
    if (limit <= 3) {
        return std::string(limit, '.');
    }
    return line.substr(0, limit - 3) + "...";
}

std::string windowTitleFor(const std::string& path)
{
    const std::string name = fileNameOf(path);
    return name.empty() ? "Brevant" : name + " - Brevant";
}
