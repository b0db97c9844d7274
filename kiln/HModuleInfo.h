#pragma once
// kiln::ModuleInfoBase: the plug-in's module registry. Each record names one module the
// plug-in registers with the host (a command, or a file translator), with its ID, kind
// and the functions that make and destroy its objects. The records form one list,
// owned by the plug-in description and rebuilt at every load.

#include <cstdint>

#include "Core/UBaseString.h"

namespace kiln {

using ModuleCreator = void* (*)();
using ModuleDestroyer = void (*)(void*);

class ModuleInfoBase {
public:
    enum Kind : uint32_t { KIND_COMMAND = 0, KIND_IMPORTER = 1, KIND_EXPORTER = 2 };

    ModuleInfoBase(const char* name, uint32_t id, uint32_t kind, ModuleCreator creator, ModuleDestroyer destroyer)
        : m_name(name), m_id(id), m_kind(kind), m_creator(creator), m_destroyer(destroyer) {}
    // A copy carries the fields, not the list links.
    ModuleInfoBase(const ModuleInfoBase& other)
        : m_name(other.m_name),
          m_id(other.m_id),
          m_kind(other.m_kind),
          m_creator(other.m_creator),
          m_destroyer(other.m_destroyer) {}
    ModuleInfoBase& operator=(const ModuleInfoBase&) = delete;

    // The first record of the current list with that ID; raises an ErrorDescription
    // when there is none.
    static ModuleInfoBase& GetModuleInfoBaseFor(uint32_t id);

    brix::UString m_name;
    uint32_t m_id;
    uint32_t m_kind;
    ModuleCreator m_creator;
    ModuleDestroyer m_destroyer;
    ModuleInfoBase* m_previous = nullptr;
    ModuleInfoBase* m_next = nullptr;
};

// The plug-in description: vendor, names, version and the module list.
struct PluginDescription {
    brix::UString vendor;
    brix::UString names[6];
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    brix::UString versionSuffix;
    ModuleInfoBase* first = nullptr;
    ModuleInfoBase* last = nullptr;
    uint32_t count = 0;

    PluginDescription() = default;
    ~PluginDescription() { ReleaseModules(); }
    PluginDescription(const PluginDescription&) = delete;
    PluginDescription& operator=(const PluginDescription&) = delete;

    // Appends a copy of the record; the list owns it.
    void Append(const ModuleInfoBase& record);
    // Empties every field and releases all records.
    void Reset();
    void ReleaseModules();
    // "vendor name1 name2 ..." with one space before each non-empty name.
    brix::UString VendorText() const;
    // "major.minor" followed by the suffix.
    brix::UString VersionText() const;
};

// The process-wide description that GetModuleInfoBaseFor searches.
PluginDescription& GetPluginDescription();

// Holds a heap copy of a translator's module record for the translator's lifetime.
class ModuleInfoHolder {
public:
    explicit ModuleInfoHolder(uint32_t id);
    virtual ~ModuleInfoHolder();
    ModuleInfoHolder(const ModuleInfoHolder&) = delete;
    ModuleInfoHolder& operator=(const ModuleInfoHolder&) = delete;
    const ModuleInfoBase& GetModuleInfo() const { return *m_moduleInfo; }

private:
    ModuleInfoBase* m_moduleInfo;
};

}  // namespace kiln
