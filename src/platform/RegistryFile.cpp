#include "platform/RegistryFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace platform {

namespace {

// The contents of the file at path, or nothing when there is no file there.
// A file that exists but cannot be read gives nothing and says why in problem.
std::optional<std::string> readWholeFile(const std::string& path, std::optional<std::string>& problem) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found)
        return std::nullopt;
    if (error) {
        problem = "It cannot be looked at: " + error.message() + ".";
        return std::nullopt;
    }
    // Only an ordinary file: a folder fails to read, a pipe would wait forever.
    if (status.type() == fs::file_type::directory) {
        problem = "It is a folder, not a file.";
        return std::nullopt;
    }
    if (status.type() != fs::file_type::regular) {
        problem = "It is not an ordinary file.";
        return std::nullopt;
    }
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            const int cause = errno;
            problem = "It cannot be opened: " + std::generic_category().message(cause) + ".";
            return std::nullopt;
        }
        std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // A read that fails part way counts as no file at all.
        if (in.bad()) {
            problem = "It could not be read to its end.";
            return std::nullopt;
        }
        return contents;
    } catch (const std::exception&) {
        problem = "It could not be read to its end.";
        return std::nullopt;
    }
}

bool mayWrite(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
#ifdef _WIN32
    return _access(path.c_str(), 2) == 0;
#else
    return access(path.c_str(), W_OK) == 0;
#endif
}

// HKEY_CLASSES_ROOT to HKEY_DYN_DATA: they always exist, with whatever the file puts under them.
bool isPredefinedRoot(RegistryKey key) {
    return key >= 0x80000000u && key <= 0x80000006u;
}

// The 32-bit view of a key under HKEY_LOCAL_MACHINE\SOFTWARE: the same path
// beneath SOFTWARE\Wow6432Node. A name already beneath it stays as it is.
void toThirtyTwoBitView(std::string& name) {
    const std::string software = foldedRootName(HKEY_LOCAL_MACHINE_ROOT) + "\\software";
    const std::string node = "\\wow6432node";
    if (name.compare(0, software.size(), software) != 0 ||
        (name.size() > software.size() && name[software.size()] != '\\'))
        return;
    const std::size_t after = software.size();
    const bool beneath = name.compare(after, node.size(), node) == 0 &&
                         (name.size() == after + node.size() || name[after + node.size()] == '\\');
    if (!beneath)
        name.insert(after, node);
}

} // namespace

RegistryFile::RegistryFile(const std::string& path) : writable_(mayWrite(path)), path_(path) {
    std::optional<std::string> problem;
    std::optional<std::string> contents = readWholeFile(path, problem);
    if (problem)
        problems_.push_back(*problem);
    else if (contents)
        keys_ = parseRegistryText(*contents, problems_);
}

RegistryFile::RegistryFile(RegistryKeys keys, bool writable) : keys_(std::move(keys)), writable_(writable) {}

std::unique_ptr<RegistryFile> RegistryFile::fromText(std::string_view contents, bool writable) {
    std::vector<std::string> problems;
    RegistryKeys keys = parseRegistryText(contents, problems);
    std::unique_ptr<RegistryFile> registry(new RegistryFile(std::move(keys), writable));
    registry->problems_ = std::move(problems);
    return registry;
}

std::optional<std::string> RegistryFile::keyName(RegistryKey key) const {
    if (isPredefinedRoot(key))
        return foldedRootName(static_cast<std::uint32_t>(key));
    auto it = open_.find(key);
    if (it == open_.end())
        return std::nullopt;
    return it->second;
}

bool RegistryFile::keyExists(const std::string& name) const {
    if (keys_.count(name) != 0)
        return true;
    // A key above a listed one exists too: some listed name starts with "name\".
    std::string prefix = name + '\\';
    auto it = keys_.lower_bound(prefix);
    return it != keys_.end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

long RegistryFile::openKey(std::uint32_t root, const std::string& subKey, std::uint32_t /*options*/,
                           std::uint32_t access, RegistryKey& key) {
    key = 0;
    std::optional<std::string> name = keyName(root);
    if (!name)
        return REGISTRY_INVALID_HANDLE;
    appendFoldedPath(*name, subKey);
    if ((access & KEY_WOW64_32KEY_VIEW) != 0)
        toThirtyTwoBitView(*name);
    if (name->find('\\') != std::string::npos && !keyExists(*name))
        return REGISTRY_FILE_NOT_FOUND;
    // Nothing is ever written back, but a caller that asks to write must learn
    // that it could not, as it would from a key it may only read.
    if ((access & ~(KEY_READ_ACCESS | KEY_WOW64_VIEW_FLAGS)) != 0 && !writable_)
        return REGISTRY_ACCESS_DENIED;
    key = nextKey_++;
    open_.emplace(key, std::move(*name));
    return REGISTRY_OK;
}

long RegistryFile::queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                              std::uint32_t& count) {
    std::optional<std::string> name = keyName(key);
    if (!name)
        return REGISTRY_INVALID_HANDLE;
    auto found = keys_.find(*name);
    if (found == keys_.end())
        return REGISTRY_FILE_NOT_FOUND;
    auto value = found->second.find(foldCase(valueName));
    if (value == found->second.end())
        return REGISTRY_FILE_NOT_FOUND;
    const std::string& bytes = value->second.data;
    type = value->second.type;
    if (bytes.size() > 0xFFFFFFFFu) {
        count = 0xFFFFFFFFu;
        return REGISTRY_MORE_DATA;
    }
    std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) {
        count = size;
        return REGISTRY_OK;
    }
    if (size > count) {
        count = size;
        return REGISTRY_MORE_DATA;
    }
    if (size > 0)
        std::memcpy(data, bytes.data(), size);
    count = size;
    return REGISTRY_OK;
}

void RegistryFile::closeKey(RegistryKey key) {
    open_.erase(key);
}

long RegistryFile::valueNames(RegistryKey key, std::vector<std::string>& names) {
    names.clear();
    std::optional<std::string> name = keyName(key);
    if (!name)
        return REGISTRY_INVALID_HANDLE;
    auto found = keys_.find(*name);
    if (found != keys_.end())
        for (const auto& [folded, value] : found->second)
            names.push_back(value.name);
    return REGISTRY_OK;
}

#ifndef _WIN32
std::unique_ptr<Registry> systemRegistry() {
    const char* configured = std::getenv("HABITORIUM_REGISTRY");
    std::string path = configured != nullptr && *configured != '\0' ? configured : "/etc/habitorium/registry.reg";
    return std::make_unique<RegistryFile>(path);
}
#endif

} // namespace platform
