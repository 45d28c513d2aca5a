// Reads the module's own version block through the module-resource layer: the file version
// and the copyright text the about picture shows.
#pragma once

#include <cstddef>
#include <vector>

namespace flanger::resources {

// Where the system keeps the module's version block (Windows: the file's version resource, read
// as the system's file properties read it), the module installs the system's query; without one
// the block embedded in the module is read. Paths as queryVersionValue takes them; text values
// include their terminating zero.
using VersionQuery = bool (*)(const char* path, const void** value, std::size_t* length) noexcept;
void setVersionQuery(VersionQuery query) noexcept;

class VersionInfo {
public:
    VersionInfo();
    // Reads from a given block instead of the module's own (tests, other modules).
    VersionInfo(const void* block, std::size_t size);

    // Copy the value into text (at most capacity − 1 characters and a zero); empty when missing.
    void fileVersion(char* text, std::size_t capacity) const;
    void legalText(char* text, std::size_t capacity) const;

private:
    void read(const void* block, std::size_t size);
    void value(const char* name, char* text, std::size_t capacity) const;
    void readTranslation(const unsigned char* entry);
    bool lookup(const char* path, const void** found, std::size_t* length) const;

    std::vector<unsigned char> block;  // empty: the module has no version information
    VersionQuery query = nullptr;      // set: the system's block instead
    unsigned long translationKey = 0;
    bool hasTranslation = false;
};

}  // namespace flanger::resources
