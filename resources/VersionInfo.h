// Reads the module's own version block through the module-resource layer: the file version
// and the copyright text the about picture shows.
#pragma once

#include <cstddef>
#include <vector>

namespace flanger::resources {

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

    std::vector<unsigned char> block;  // empty: the module has no version information
    unsigned long translationKey = 0;
    bool hasTranslation = false;
};

}  // namespace flanger::resources
