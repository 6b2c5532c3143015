#pragma once
// An in-memory registry for window tests: values under keys, matched without
// regard to case, with the exact bytes and type a real value would have.

#include "platform/Registry.h"

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

class FakeRegistry : public platform::Registry {
public:
    void setText(const std::string& key, const std::string& name, const std::string& text) {
        std::vector<unsigned char> bytes(text.begin(), text.end());
        bytes.push_back(0);
        values_[lower(key)][lower(name)] = {platform::REG_SZ_TYPE, bytes};
    }
    void setDword(const std::string& key, const std::string& name, std::uint32_t value) {
        std::vector<unsigned char> bytes(4);
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<unsigned char>(value >> (8 * i));
        values_[lower(key)][lower(name)] = {platform::REG_DWORD_TYPE, bytes};
    }
    void setting(const std::string& name, const std::string& text) { setText(settingsKey, name, text); }

    long openKey(std::uint32_t root, const std::string& subKey, std::uint32_t, std::uint32_t,
                 platform::RegistryKey& key) override {
        auto it = values_.find(lower(subKey));
        if (root != platform::HKEY_LOCAL_MACHINE_ROOT || it == values_.end())
            return platform::REGISTRY_FILE_NOT_FOUND;
        open_.push_back(it->first);
        key = open_.size();
        return platform::REGISTRY_OK;
    }
    long queryValue(platform::RegistryKey key, const std::string& name, std::uint32_t& type, unsigned char* data,
                    std::uint32_t& count) override {
        if (key == 0 || key > open_.size())
            return 6; // invalid handle
        const auto& values = values_[open_[key - 1]];
        auto it = values.find(lower(name));
        if (it == values.end())
            return platform::REGISTRY_FILE_NOT_FOUND;
        type = it->second.type;
        if (it->second.bytes.size() > count) {
            count = static_cast<std::uint32_t>(it->second.bytes.size());
            return platform::REGISTRY_MORE_DATA;
        }
        count = static_cast<std::uint32_t>(it->second.bytes.size());
        if (count)
            std::memcpy(data, it->second.bytes.data(), count);
        return platform::REGISTRY_OK;
    }
    void closeKey(platform::RegistryKey) override {}

    static constexpr const char* settingsKey = "SOFTWARE\\Habitorium\\Settings";

private:
    struct Value {
        std::uint32_t type;
        std::vector<unsigned char> bytes;
    };
    static std::string lower(std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    }
    std::map<std::string, std::map<std::string, Value>> values_;
    std::vector<std::string> open_;
};
