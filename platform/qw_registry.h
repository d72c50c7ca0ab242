// The registry: a tree of keys with named, typed values under three roots, kept in one readable
// text file. Key and value names keep the case they were created with and are compared without
// regard to ASCII case; sub-keys are enumerated in that order, sorted. Keys lie at most 512
// levels below their root, as in the system's registry. A key with sub-keys cannot be deleted.
// Every change rewrites the file atomically (a new file renamed over the old one), so a reader
// never sees half a registry; a registry left without keys or values is no file. A file that
// cannot be read as a registry (a deeper key too) fails every call rather than being overwritten.
//
// The file: "<prefix folder>/registry.txt" (qw_paths.h), or the environment variable QW_REGISTRY.
// Its lines are "[ROOT\key\sub-key]" for each key that holds values or no sub-keys (the keys on
// its way exist with it) and "name=type:data" for each value of the key above; the default value is named "@"; types are sz, expand_sz, dword (decimal) and binary
// (hexadecimal). In names "%", "[", "]", "=", "\", "@" and control characters are written as
// "%XX", in texts "%" and control characters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qwp {

enum class RegRoot { ClassesRoot = 1, CurrentUser = 2, LocalMachine = 3 };
enum class RegType : uint32_t { String = 1, ExpandString = 2, Binary = 3, DWord = 4 };

struct RegValue {
    RegType type = RegType::String;
    // Texts without a terminating zero; a 32-bit value as 4 bytes, lowest first.
    std::vector<uint8_t> data;
};

// Key paths are parts joined by backslashes below the root; empty parts are skipped, so "" is the
// root itself. Value name "" is the key's default value.
bool RegKeyExists(RegRoot root, const char* key);
// Creates every missing level; true when the key exists afterwards.
bool RegCreateKey(RegRoot root, const char* key);
// The key must exist. Creates or replaces the value.
bool RegSetValue(RegRoot root, const char* key, const char* name, RegType type, const void* data,
                 size_t size);
bool RegGetValue(RegRoot root, const char* key, const char* name, RegValue& out);
// The name of the sub-key at the index in sorted order; false past the last one.
bool RegEnumKey(RegRoot root, const char* key, uint32_t index, std::string& name);
// The name of the key's value at the index in sorted order ("" for the default value); false
// past the last one.
bool RegEnumValue(RegRoot root, const char* key, uint32_t index, std::string& name);
// Deletes the key's value; false when the key or the value is missing.
bool RegDeleteValue(RegRoot root, const char* key, const char* name);
// Deletes a key without sub-keys, with its values. False for a root, a missing key or a key that
// still has sub-keys.
bool RegDeleteKey(RegRoot root, const char* key);

// The registry file (host path).
std::string RegistryFile();
// Tests: use this file; null restores the default.
void SetRegistryFileForTesting(const char* hostPath);
// Fault injection: every call on this key or a key below it is denied (null: none).
void SetRegistryDeniedKey(RegRoot root, const char* key);

}  // namespace qwp
