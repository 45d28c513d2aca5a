// The version reader: translation first, then values under "\StringFileInfo\<key>\<name>".
#include "resources/VersionInfo.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "resources/ModuleResources.h"
#include "resources/version/VersionBlock.h"

namespace flanger::resources {
namespace {

// Installed once by the module before any editor reads it.
std::atomic<VersionQuery> systemQuery{nullptr};

}  // namespace

void setVersionQuery(VersionQuery query) noexcept {
    systemQuery.store(query, std::memory_order_release);
}

VersionInfo::VersionInfo() {
    query = systemQuery.load(std::memory_order_acquire);
    if (query != nullptr) {
        const void* translation = nullptr;
        std::size_t length = 0;
        if (!query("\\VarFileInfo\\Translation", &translation, &length) || length < 4) {
            query = nullptr;
            return;
        }
        readTranslation(static_cast<const unsigned char*>(translation));
        return;
    }
    const resources::ResourceBytes bytes = resources::findResource(resources::ResourceKind::Version, 1);
    read(bytes.data, bytes.size);
}

bool VersionInfo::lookup(const char* path, const void** found, std::size_t* length) const {
    if (query != nullptr) return query(path, found, length);
    return resources::queryVersionValue(block.data(), block.size(), path, found, length);
}

void VersionInfo::readTranslation(const unsigned char* entry) {
    const unsigned language = entry[0] | (entry[1] << 8);
    const unsigned codePage = entry[2] | (entry[3] << 8);
    translationKey = static_cast<unsigned long>(language) * 65536ul + codePage;
    hasTranslation = true;
}

VersionInfo::VersionInfo(const void* data, std::size_t size) {
    read(data, size);
}

void VersionInfo::read(const void* data, std::size_t size) {
    if (data == nullptr || size == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(data);
    block.assign(bytes, bytes + size);
    const void* translation = nullptr;
    std::size_t length = 0;
    if (!resources::queryVersionValue(block.data(), block.size(), "\\VarFileInfo\\Translation", &translation,
                                      &length) ||
        length < 4) {
        block.clear();
        return;
    }
    readTranslation(static_cast<const unsigned char*>(translation));
}

void VersionInfo::value(const char* name, char* text, std::size_t capacity) const {
    if (text == nullptr || capacity == 0) return;
    text[0] = 0;
    if (!hasTranslation) return;
    char path[128];
    std::snprintf(path, sizeof path, "\\StringFileInfo\\%08lx\\%s", translationKey, name);
    const void* found = nullptr;
    std::size_t length = 0;
    if (!lookup(path, &found, &length)) return;
    const auto* chars = static_cast<const char*>(found);
    const std::size_t n = strnlen(chars, length < capacity - 1 ? length : capacity - 1);
    std::memcpy(text, chars, n);
    text[n] = 0;
}

void VersionInfo::fileVersion(char* text, std::size_t capacity) const {
    value("FileVersion", text, capacity);
}
void VersionInfo::legalText(char* text, std::size_t capacity) const {
    value("LegalCopyright", text, capacity);
}

}  // namespace flanger::resources
