// Resources of a program: byte blocks found by type and name, such as the package that the setup
// and uninstall programs carry (type "qws4", name "qws4").
//
// The build appends a resource table to the linked program file:
//   [the data of every resource] [directory] [footer]
//   directory (big-endian): u32 count; per resource: u16 type length, type, u16 name length, name,
//     u64 offset of its data from the table's start, u64 size
//   footer, the last 32 bytes of the file: u64 table start, u64 directory offset, u64 directory
//     size (all from the start of the file), the magic "QWRSRC01"
// Types and names are compared without regard to ASCII case. Tests can also register resources in
// memory; those are found first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qwp {

// The bytes of a resource of the running module (the program, or the shared library when the
// code runs inside one). They stay valid until the process ends (registered ones while they stay
// registered). False when there is no such resource, or the table is damaged.
bool FindResource(const char* type, const char* name, const void** data, size_t* size);

// Tests: makes the bytes findable under the type and name (not copied; they must live while
// registered). Null data removes the registration.
void RegisterResource(const char* type, const char* name, const void* data, size_t size);
void ClearRegisteredResources();
// Tests: read the table appended to this host file instead of the module's own; null restores.
void SetResourceFileForTesting(const char* hostPath);
// Fault injection: every look-up fails while set.
void SetResourceLookupFailure(bool fail);

// The build side.
struct ResourceBlock {
    std::string type;
    std::string name;
    std::vector<uint8_t> data;
};
// Reads the table appended to a host file; false with a reason when there is none or it is
// damaged.
bool ReadResourceTable(const char* hostPath, std::vector<ResourceBlock>& blocks, std::string& error);
// Writes the program file to `outputHostPath` with the blocks appended as its table (a table the
// program already carries is replaced), executable, replacing the output only when complete.
bool WriteProgramWithResources(const char* programHostPath, const char* outputHostPath,
                               const std::vector<ResourceBlock>& blocks, std::string& error);

}  // namespace qwp
