#pragma once
// Test set-up for code that talks to the stand-in host: a fresh scene, and core services
// whose channels reach the host console through the host sinks, as in the plug-in.

#include <gtest/gtest.h>

#include <string>

#include "CoreServices/Implementations/UCoreServices.h"
#include "platform/Maya/HHostSinks.h"
#include "tessahost/StandIn.h"

namespace kiln_test {

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin::resetScene();
        standin::setConsoleEcho(false);
        static brix::UCoreServices_ANSI* services = [] {
            auto* s = new brix::UCoreServices_ANSI();
            s->Init(0);
            return s;
        }();
        s_services = services;
        m_previous = brix::ExchangeCoreServicesAccessor([] { return static_cast<brix::ICoreServices*>(s_services); });
        using namespace kiln::platform_maya;
        services->SetChannelHandler(2, &GetInfoSink());
        services->SetChannelHandler(3, &GetInfoSink());
        services->SetChannelHandler(5, &GetErrorSink());
        services->SetChannelHandler(7, &GetWarningSink());
    }
    void TearDown() override {
        for (int target : {2, 3, 5, 7}) s_services->SetChannelHandler(target, nullptr);
        brix::ExchangeCoreServicesAccessor(m_previous);
    }

    // All console text of one kind, in order, joined.
    static std::string Console(standin::ConsoleKind kind) {
        std::string text;
        for (unsigned int i = 0; i < standin::consoleCount(); ++i)
            if (standin::consoleKind(i) == kind) text += standin::consoleText(i).asChar();
        return text;
    }
    static std::string Warnings() { return Console(standin::ConsoleKind::Warning); }
    static std::string Infos() { return Console(standin::ConsoleKind::Info); }
    static std::string Errors() { return Console(standin::ConsoleKind::Error); }

    static inline brix::ICoreServices* s_services = nullptr;
    brix::CoreServicesAccessor m_previous = nullptr;
};

}  // namespace kiln_test
