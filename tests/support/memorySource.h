// A file source over files held in memory by name, for tests that drive the viewer session or the export
// without touching the disk. Every read is recorded.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "base/fileSource.h"

// Files by name, folders implied by the slashes in them; reads obey the cap as the folder source does.
struct MemoryFiles {
    std::map<std::string, std::vector<uint8_t>> files;
    std::vector<std::string> reads;
};

inline bool readMemory(void* context, const std::string& name, uint64_t maxSize, FileBytes& file, FileReadFault& fault)
{
    MemoryFiles& memory = *static_cast<MemoryFiles*>(context);
    memory.reads.push_back(name);
    const auto found = memory.files.find(name);
    if (found == memory.files.end()) {
        fault.kind = FileReadFaultKind::cannotOpen;
        std::snprintf(fault.text, sizeof fault.text, "cannot open: No such file or directory");
        return false;
    }
    if (found->second.size() > maxSize) {
        fault.kind = FileReadFaultKind::tooLarge;
        std::snprintf(fault.text, sizeof fault.text, "too large");
        return false;
    }
    file.size = found->second.size();
    file.bytes.reset(new uint8_t[file.size > 0 ? file.size : 1]);
    std::copy(found->second.begin(), found->second.end(), file.bytes.get());
    return true;
}

inline bool listMemory(void* context, const std::string& folder, std::vector<SourceEntry>& entries)
{
    const MemoryFiles& memory = *static_cast<const MemoryFiles*>(context);
    const std::string prefix = folder.empty() ? "" : folder + "/";
    bool any = folder.empty();
    for (const auto& [name, bytes] : memory.files) {
        if (name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        any = true;
        const std::string rest = name.substr(prefix.size());
        const size_t slash = rest.find('/');
        const SourceEntry entry{rest.substr(0, slash), slash != std::string::npos};
        const bool listed =
            std::any_of(entries.begin(), entries.end(), [&](const SourceEntry& e) { return e.name == entry.name; });
        if (!listed) {
            entries.push_back(entry);
        }
    }
    return any;
}
