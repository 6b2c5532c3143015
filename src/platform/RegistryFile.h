#pragma once
// The registry served from a registry file: the registry editor's export or a
// Wine hive (see RegistryFileFormat.h), read once when the store is made.

#include "platform/Registry.h"
#include "platform/RegistryFileFormat.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace platform {

class RegistryFile : public Registry {
public:
    // Reads the file at path. A missing, unreadable or unrecognised file is a
    // registry without keys; what could not be read of a file that exists is
    // kept in problems(). The store is writable when the process may write
    // the file; nothing is ever written back to it.
    explicit RegistryFile(const std::string& path);

    // A store over text already read (the contents of a registry file), with
    // writability given, so that a read-only store can be made by any user.
    static std::unique_ptr<RegistryFile> fromText(std::string_view contents, bool writable);

    // Fails with REGISTRY_INVALID_HANDLE for a root that is neither a
    // predefined root nor an open key, REGISTRY_FILE_NOT_FOUND for a missing
    // key, REGISTRY_ACCESS_DENIED for rights beyond KEY_READ_ACCESS on a store
    // that is not writable. options are not examined. The file is seen as a
    // 64-bit program sees the registry; with KEY_WOW64_32KEY_VIEW a key under
    // HKEY_LOCAL_MACHINE\SOFTWARE is the one under SOFTWARE\Wow6432Node,
    // where 64-bit Windows, and Wine, keep what 32-bit programs write.
    long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                 RegistryKey& key) override;
    // REGISTRY_INVALID_HANDLE for a key that is not open, REGISTRY_FILE_NOT_FOUND
    // for a missing value, REGISTRY_MORE_DATA (count set to the size needed)
    // when it does not fit. A null data asks for type and size alone.
    long queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& count) override;
    void closeKey(RegistryKey key) override;
    // REGISTRY_INVALID_HANDLE for a key that is not open; the names in the
    // order of their folded form.
    long valueNames(RegistryKey key, std::vector<std::string>& names) override;

    // The file's path (empty for a store made from text).
    std::string location() const override { return path_; }
    std::vector<std::string> problems() const override { return problems_; }

    bool writable() const { return writable_; }
    // Keys handed out and not yet closed.
    std::size_t openKeyCount() const { return open_.size(); }

private:
    RegistryFile(RegistryKeys keys, bool writable);
    bool keyExists(const std::string& name) const;
    // The folded name of a predefined root or an open key; nullopt otherwise.
    std::optional<std::string> keyName(RegistryKey key) const;

    RegistryKeys keys_;
    bool writable_ = false;
    std::string path_;
    std::vector<std::string> problems_;
    std::unordered_map<RegistryKey, std::string> open_;
    RegistryKey nextKey_ = 0x100;
};

} // namespace platform
