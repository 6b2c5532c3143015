#pragma once
// A registry seen through one of its views on 64-bit Windows: every key is
// opened with the view's flag (KEY_WOW64_32KEY_VIEW or KEY_WOW64_64KEY_VIEW)
// in place of any the caller asked for, so that a reader written for a key
// reads it where a program of that bitness keeps it.

#include "platform/Registry.h"

namespace platform {

class RegistryView : public Registry {
public:
    // registry must outlive the view.
    RegistryView(Registry& registry, std::uint32_t view) : registry_(registry), view_(view & KEY_WOW64_VIEW_FLAGS) {}

    long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t options, std::uint32_t access,
                 RegistryKey& key) override {
        return registry_.openKey(root, subKey, options, (access & ~KEY_WOW64_VIEW_FLAGS) | view_, key);
    }
    long queryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& count) override {
        return registry_.queryValue(key, valueName, type, data, count);
    }
    void closeKey(RegistryKey key) override { registry_.closeKey(key); }
    long valueNames(RegistryKey key, std::vector<std::string>& names) override {
        return registry_.valueNames(key, names);
    }
    std::string location() const override { return registry_.location(); }
    std::vector<std::string> problems() const override { return registry_.problems(); }

private:
    Registry& registry_;
    std::uint32_t view_;
};

} // namespace platform
