#include "HModuleInfo.h"

#include "Core/ErrorDescription.h"
#include "Core/LegacyTexts.h"

namespace kiln {

PluginDescription& GetPluginDescription() {
    static PluginDescription description;
    return description;
}

ModuleInfoBase& ModuleInfoBase::GetModuleInfoBaseFor(uint32_t id) {
    for (ModuleInfoBase* record = GetPluginDescription().first; record; record = record->m_next)
        if (record->m_id == id) return *record;
    brix::UString message(brix::legacy::kModuleNotFoundBefore);
    message.AppendNumber(id).Append(brix::legacy::kModuleNotFoundAfter);
    const brix::legacy::ErrorSite& site = brix::legacy::kModuleNotFound;
    throw brix::ErrorDescription(site.file, site.function, message.c_str(), site.line);
}

void PluginDescription::Append(const ModuleInfoBase& record) {
    ModuleInfoBase* copy = new ModuleInfoBase(record);
    copy->m_previous = last;
    if (last)
        last->m_next = copy;
    else
        first = copy;
    last = copy;
    ++count;
}

void PluginDescription::ReleaseModules() {
    for (ModuleInfoBase* record = first; record;) {
        ModuleInfoBase* next = record->m_next;
        delete record;
        record = next;
    }
    first = last = nullptr;
    count = 0;
}

void PluginDescription::Reset() {
    vendor = "";
    for (brix::UString& name : names) name = "";
    majorVersion = minorVersion = 0;
    versionSuffix = "";
    ReleaseModules();
}

brix::UString PluginDescription::VendorText() const {
    brix::UString text(vendor.c_str());
    for (const brix::UString& name : names)
        if (!name.IsEmpty()) text.Append(" ").Append(name);
    return text;
}

brix::UString PluginDescription::VersionText() const {
    brix::UString text("");
    text.AppendNumber(majorVersion).Append(".").AppendNumber(minorVersion);
    if (!versionSuffix.IsEmpty()) text.Append(versionSuffix);
    return text;
}

ModuleInfoHolder::ModuleInfoHolder(uint32_t id)
    : m_moduleInfo(new ModuleInfoBase(ModuleInfoBase::GetModuleInfoBaseFor(id))) {}

ModuleInfoHolder::~ModuleInfoHolder() { delete m_moduleInfo; }

}  // namespace kiln
