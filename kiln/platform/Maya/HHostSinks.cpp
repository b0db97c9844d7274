#include "HHostSinks.h"

#include <maya/MGlobal.h>
#include <maya/MString.h>

namespace kiln::platform_maya {

HHostSink::HHostSink(Kind kind) : m_kind(kind) { InitializeCriticalSection(&m_lock); }
HHostSink::~HHostSink() { DeleteCriticalSection(&m_lock); }

void HHostSink::Lock() { EnterCriticalSection(&m_lock); }
void HHostSink::Unlock() { LeaveCriticalSection(&m_lock); }

void HHostSink::Write(const brix::UString& text) {
    const MString hostText(text.c_str());
    switch (m_kind) {
    case Kind::Info: MGlobal::displayInfo(hostText); break;
    case Kind::Warning: MGlobal::displayWarning(hostText); break;
    case Kind::Error: MGlobal::displayError(hostText); break;
    }
}

// Static objects: their locks exist from module load to unload.
namespace {
HHostSink g_infoSink(HHostSink::Kind::Info);
HHostSink g_warningSink(HHostSink::Kind::Warning);
HHostSink g_errorSink(HHostSink::Kind::Error);
}  // namespace

HHostSink& GetInfoSink() { return g_infoSink; }
HHostSink& GetWarningSink() { return g_warningSink; }
HHostSink& GetErrorSink() { return g_errorSink; }

}  // namespace kiln::platform_maya
