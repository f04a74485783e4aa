// Reading a whole file into memory, with its size known before anything is allocated, and any file name on
// Windows. GL-free and platform-neutral: model/ and text/ read their files through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// Opens a UTF-8 path for binary reading ("rb"); nullptr with errno set when it cannot. On Windows the name
// goes through the wide-character API, since the ANSI one loses characters outside the code page.
FILE* openFileForReading(const char* utf8Path);

// Opens a UTF-8 path for binary writing ("wb"), creating or emptying it; nullptr with errno set when it cannot.
FILE* openFileForWriting(const char* utf8Path);

// Renames from to to, replacing a file already there; false with errno set when it cannot.
bool replaceFile(const char* utf8From, const char* utf8To);

// Deletes the file if it can; used to clean up after a failed write.
void removeFile(const char* utf8Path);

// The size of an open file in 64 bits (long is 32 bits on Windows); false when it cannot be told.
bool fileSizeOf(FILE* file, uint64_t& size);

enum class FileReadFaultKind { none, cannotOpen, tooLarge, readError, noMemory };

struct FileReadFault {
    FileReadFaultKind kind = FileReadFaultKind::none;
    uint64_t fileSize = 0;  // known for tooLarge, readError and noMemory
    char text[128] = {};    // e.g. "cannot open: No such file or directory", "file is 3.0 GB, over the 32 MB allowed"
};

struct FileBytes {
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
};

// Reads the whole file. A file larger than maxSize is refused before any allocation or read; on any fault
// file is left empty and fault, when given, says why.
bool readFileBytes(const char* utf8Path, uint64_t maxSize, FileBytes& file, FileReadFault* fault = nullptr);

// A size for people: "512 bytes", "12 KB", "3.0 GB" (units of 1,024; one decimal below ten).
void formatByteSize(uint64_t size, char* text, size_t textSize);
