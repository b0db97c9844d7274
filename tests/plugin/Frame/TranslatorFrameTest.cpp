#include <gtest/gtest.h>

#include <maya/MFileObject.h>

#include "Headers.h"
#include "TessalineTranslators.h"
#include "support/PluginHostTest.h"

// The translators find their module records in the plug-in description.
class TranslatorFrame : public plugin_test::PluginHostTest {
protected:
    void SetUp() override {
        PluginHostTest::SetUp();
        kiln::PluginDescription& description = kiln::GetPluginDescription();
        description.Reset();
        DescribePlugin(description);
    }
};

TEST_F(TranslatorFrame, IdentifiesRigFilesByExtensionIgnoringCase) {
    TessalineImporter importer;
    struct Case {
        const char* name;
        MPxFileTranslator::MFileKind kind;
    } cases[] = {
        {"model.tsl", MPxFileTranslator::kIsMyFileType},        {"model.TSL", MPxFileTranslator::kIsMyFileType},
        {"dir.v2/model.Tsl", MPxFileTranslator::kIsMyFileType}, {"model.tsl.bak", MPxFileTranslator::kNotMyFileType},
        {"model", MPxFileTranslator::kNotMyFileType},           {"model.ts", MPxFileTranslator::kNotMyFileType},
        {"model.tslx", MPxFileTranslator::kNotMyFileType}};
    for (const Case& c : cases) {
        MFileObject file;
        file.setName(c.name);
        EXPECT_EQ(importer.identifyFile(file, nullptr, 0), c.kind) << c.name;
    }
    EXPECT_EQ(importer.defaultExtension(), "tsl");
}

TEST_F(TranslatorFrame, DriverStatusesMapToHostStatuses) {
    const int expected[] = {0, 1, 3, 2, 4, 5, 6, 7, 1, 1};
    for (int code = 0; code <= 9; ++code)
        EXPECT_EQ(int(TessalineTranslator::ToHostStatus(kiln::platform_maya::HStatus(code)).statusCode()),
                  expected[code])
            << code;
}

TEST_F(TranslatorFrame, EachTranslatorOnlyDoesItsOwnJob) {
    TessalineExporter exporter;
    TessalineImporter importer;
    MFileObject file;
    file.setName((testing::TempDir() + "frame.tsl").c_str());
    EXPECT_EQ(exporter.reader(file, "", MPxFileTranslator::kImportAccessMode), MStatus::kFailure);
    EXPECT_EQ(importer.writer(file, "", MPxFileTranslator::kExportAccessMode), MStatus::kFailure);
    EXPECT_EQ(exporter.writer(file, "", MPxFileTranslator::kImportAccessMode), MStatus::kFailure);
    EXPECT_TRUE(exporter.haveWriteMethod());
    EXPECT_FALSE(exporter.haveReadMethod());
    EXPECT_TRUE(importer.haveReadMethod());
    EXPECT_EQ(Infos(), "");
}

TEST_F(TranslatorFrame, RegistryRecordsAndDescriptionTexts) {
    EXPECT_STREQ(kiln::ModuleInfoBase::GetModuleInfoBaseFor(6).m_name.c_str(), "TessalineExporter");
    EXPECT_STREQ(kiln::ModuleInfoBase::GetModuleInfoBaseFor(7).m_name.c_str(), "TessalineImporter");
    try {
        kiln::ModuleInfoBase::GetModuleInfoBaseFor(8);
        FAIL() << "no exception";
    } catch (const brix::ErrorDescription& error) {
        EXPECT_STREQ(error.m_message, "Error - module with ID 8doesn't exist.");
        EXPECT_STREQ(error.m_file, "HModuleInfo");
        EXPECT_EQ(error.m_line, 47);
    }
    kiln::PluginDescription description;
    description.names[0] = "X";
    description.majorVersion = 2;
    description.minorVersion = 10;
    description.versionSuffix = "b";
    EXPECT_STREQ(description.VendorText().c_str(), " X");
    EXPECT_STREQ(description.VersionText().c_str(), "2.10b");
    EXPECT_STREQ(kiln::GetPluginDescription().VendorText().c_str(), "Vantorel TessalineExporter");
    EXPECT_STREQ(kiln::GetPluginDescription().VersionText().c_str(), "0.1");
}
